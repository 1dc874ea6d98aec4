#include "app/RemoteControlService.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>
#include <QDBusConnectionInterface>
#include <QTemporaryDir>

using namespace backreel;
using namespace std::chrono_literals;

namespace {

// The application as users start it, each instance with its settings in a folder of the test's.
class RemoteInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under scripts/virtual-desktop";
        qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    }

    // Runs `backreel` with these arguments to its end; its exit status, and its output in `output`.
    int backreel(const std::vector<std::string>& arguments, std::string* output = nullptr) {
        test::ChildProcess process;
        std::vector<std::string> command{BACKREEL_APP};
        command.insert(command.end(), arguments.begin(), arguments.end());
        EXPECT_TRUE(process.start(command));
        EXPECT_TRUE(test::waitUntil([&] { return !process.running(); }, 30s));
        if (output != nullptr) {
            *output = process.output();
        }
        return process.exitStatus();
    }
    static bool instanceRuns() {
        const QDBusReply<bool> registered = QDBusConnection::sessionBus().interface()->isServiceRegistered(
            RemoteControlService::kServiceName);
        return registered.isValid() && registered.value();
    }
    static bool windowShown() {
        return test::runProgram({"xdotool", "search", "--onlyvisible", "--name", "^Backreel$"});
    }

    QTemporaryDir configHome;
};

} // namespace

// With no Backreel running, a command says so on standard error and fails (every command asks
// first whether one runs); a wrong command line fails with a usage message.
TEST_F(RemoteInstanceTest, CommandsWithoutARunningInstanceFailWithAMessage) {
    ASSERT_FALSE(instanceRuns());
    std::string output;
    EXPECT_EQ(backreel({"--save-clip", "10"}, &output), 1);
    EXPECT_NE(output.find("backreel: Backreel is not running."), std::string::npos) << output;
    EXPECT_EQ(backreel({"--save-clip", "ten"}, &output), 2);
    EXPECT_NE(output.find("Try 'backreel --help'."), std::string::npos) << output;
}

// A second `backreel` brings the first one's window back and ends; the command line starts the
// first one buffering, reads its status and quits it.
TEST_F(RemoteInstanceTest, ASecondStartShowsTheFirstInstancesWindow) {
#if defined(__SANITIZE_THREAD__)
    // The whole application under ThreadSanitizer, with Qt's GUI and X11 libraries uninstrumented,
    // drowns in what TSan cannot see (their locks, file descriptors passed between them); the
    // remote control's own threads are checked by the in-process tests.
    GTEST_SKIP() << "not under ThreadSanitizer";
#endif
    test::ChildProcess first;
    ASSERT_TRUE(first.start({BACKREEL_APP}));
    ASSERT_TRUE(test::waitUntil([&] { return instanceRuns() && windowShown(); }, 20s)) << first.output();

    std::string window;
    ASSERT_TRUE(test::runProgram({"xdotool", "search", "--onlyvisible", "--name", "^Backreel$"}, &window));
    ASSERT_TRUE(
        test::runProgram({"xdotool", "windowminimize", "--sync", window.substr(0, window.find('\n'))}));
    ASSERT_FALSE(windowShown());
    EXPECT_EQ(backreel({}), 0);
    EXPECT_TRUE(test::waitUntil(windowShown, 10s));
    EXPECT_TRUE(first.running()) << "the second start left the first one running";

    std::string status;
    EXPECT_EQ(backreel({"--status"}, &status), 0);
    EXPECT_EQ(status, "idle: Ready\n");
    EXPECT_EQ(backreel({"--start"}, &status), 0) << status;
    EXPECT_EQ(backreel({"--status"}, &status), 0);
    EXPECT_EQ(status.substr(0, status.find(':')), "buffering") << status;

    EXPECT_EQ(backreel({"--quit"}), 0);
    EXPECT_FALSE(instanceRuns());
    EXPECT_TRUE(first.waitForSuccess(20s)) << "exit status " << first.exitStatus() << "\n" << first.output();
}
