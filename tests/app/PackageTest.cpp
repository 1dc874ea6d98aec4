// A desktop entry and metainfo the validators accept, and a manual page with the program's options.

#include "support/ChildProcess.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>
#include <set>

namespace backreel::test {

const std::string kSourceDir = BACKREEL_SOURCE_DIR;
const std::string kBuildDir = BACKREEL_BUILD_DIR;

// The long options a text names ("--save-clip"); in a manual page the dashes are escaped.
static std::set<std::string> longOptions(std::string text) {
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    std::set<std::string> options;
    const std::regex option(R"(--[a-z][a-z-]*[a-z])");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator();
         ++it) {
        options.insert(it->str());
    }
    return options;
}

TEST(Package, TheDesktopEntryAndTheMetainfoValidate) {
    for (const std::string validator : {"desktop-file-validate", "appstreamcli"}) {
        if (!installed(validator)) {
            // Continuous integration installs them; there a missing validator is a failure.
            if (std::getenv("BACKREEL_REQUIRE_VALIDATORS") != nullptr) {
                FAIL() << validator << " is not installed";
            }
            GTEST_SKIP() << validator << " is not installed (scripts/install-dependencies installs it)";
        }
    }
    std::string output;
    EXPECT_TRUE(
        runProgram({"desktop-file-validate", kSourceDir + "/data/com.strandloft.Backreel.desktop"}, &output))
        << output;
    const std::string metainfo = kBuildDir + "/data/com.strandloft.Backreel.metainfo.xml";
    EXPECT_TRUE(runProgram({"appstreamcli", "validate", "--no-net", metainfo}, &output)) << output;
    EXPECT_NE(fileText(metainfo).find("<release version=\"" BACKREEL_VERSION "\""), std::string::npos)
        << "the release is the program's version";
}

TEST(Package, TheManualPageListsTheOptionsTheProgramTakes) {
    const std::string program = kBuildDir + "/src/backreel";
    std::string help;
    ASSERT_TRUE(runProgram({program, "--help"}, &help)) << help;
    const std::set<std::string> options = longOptions(help);
    EXPECT_TRUE(options.contains("--save-clip")) << help;
    EXPECT_EQ(longOptions(fileText(kSourceDir + "/data/backreel.1")), options);

    std::string version;
    ASSERT_TRUE(runProgram({program, "--version"}, &version));
    EXPECT_NE(version.find(BACKREEL_VERSION), std::string::npos) << version;
}

} // namespace backreel::test
