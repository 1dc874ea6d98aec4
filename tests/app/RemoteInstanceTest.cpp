#include "app/RemoteControlService.h"
#include "core/Autostart.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

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
    // The id of Backreel's visible main window; empty while there is none.
    static std::string shownWindow() {
        std::string id;
        test::runProgram({"xdotool", "search", "--onlyvisible", "--name", "^Backreel$"}, &id);
        return id.substr(0, id.find('\n'));
    }
    static bool windowShown() { return !shownWindow().empty(); }

    QTemporaryDir configHome;
};

} // namespace

// "Start at login" writes an autostart entry and takes it away; its `backreel --buffer` buffers within
// 2 s. A second `backreel` brings the first one's window back; --quit quits it.
TEST_F(RemoteInstanceTest, StartAtLoginBuffersAndASecondStartShowsTheFirstInstancesWindow) {
#if defined(__SANITIZE_THREAD__)
    // Qt's GUI and X11 libraries are uninstrumented; the remote control's threads are checked in-process.
    GTEST_SKIP() << "not under ThreadSanitizer";
#endif
    const QString entry = configHome.filePath(QStringLiteral("autostart/com.strandloft.Backreel.desktop"));
    ASSERT_EQ(setStartAtLogin(true), std::nullopt);
    EXPECT_TRUE(startsAtLogin() && QFile::exists(entry));
    std::string problems;
    if (test::installed("desktop-file-validate")) {
        EXPECT_TRUE(test::runProgram({"desktop-file-validate", entry.toStdString()}, &problems)) << problems;
    }
    ASSERT_EQ(setStartAtLogin(false), std::nullopt);
    EXPECT_FALSE(QFile::exists(entry));

    test::ChildProcess first;
    ASSERT_TRUE(first.start({BACKREEL_APP, "--buffer"}));
    ASSERT_TRUE(test::waitUntil(instanceRuns, 20s)) << first.output();
    const auto launched = std::chrono::steady_clock::now();
    std::string status;
    EXPECT_TRUE(test::waitUntil(
        [&] { return backreel({"--status"}, &status) == 0 && status.starts_with("buffering: Recording…"); },
        10s))
        << status;
    EXPECT_LT(std::chrono::steady_clock::now() - launched, 2s);

    ASSERT_TRUE(test::waitUntil(windowShown, 10s));
    ASSERT_TRUE(test::runProgram({"xdotool", "windowminimize", "--sync", shownWindow()}));
    ASSERT_FALSE(windowShown());
    EXPECT_EQ(backreel({}), 0);
    EXPECT_TRUE(test::waitUntil(windowShown, 10s));
    EXPECT_TRUE(first.running()) << "the second start left the first one running";
    EXPECT_EQ(backreel({"--quit"}), 0);
    EXPECT_FALSE(instanceRuns());
    EXPECT_TRUE(first.waitForSuccess(20s)) << "exit status " << first.exitStatus() << "\n" << first.output();

    // Without a running instance, commands fail with a message.
    std::string output;
    EXPECT_EQ(backreel({"--save-clip", "10"}, &output), 1);
    EXPECT_NE(output.find("backreel: Backreel is not running."), std::string::npos) << output;
    EXPECT_EQ(backreel({"--save-clip", "ten"}, &output), 2);
    EXPECT_NE(output.find("Try 'backreel --help'."), std::string::npos) << output;
}

// Real clicks, with a clip folder that cannot be made: three quick clicks on Save Clip keep three
// clips; a tap on the background does not glue the panel to the pointer.
TEST_F(RemoteInstanceTest, RealClicksKeepEveryFailedClipAndThePanelHoldsStill) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "not under ThreadSanitizer";
#endif
    QFile dirs(configHome.filePath(QStringLiteral("user-dirs.dirs")));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly) &&
                dirs.write("XDG_VIDEOS_DIR=\"/proc/no-such-folder\"\n") > 0);
    dirs.close();
    test::ChildProcess app;
    ASSERT_TRUE(app.start({BACKREEL_APP}));
    ASSERT_TRUE(test::waitUntil([&] { return instanceRuns() && windowShown(); }, 20s)) << app.output();
    std::string status;
    ASSERT_EQ(backreel({"--start"}, &status), 0) << status;
    QThread::sleep(1); // a second in the buffer: a clip to cut at the first click

    const std::string id = shownWindow();
    const auto where = [&] {
        std::string shell;
        EXPECT_TRUE(test::runProgram({"xdotool", "getwindowgeometry", "--shell", id}, &shell));
        std::pair position{0, 0};
        std::sscanf(shell.c_str() + shell.find("X="), "X=%d\nY=%d", &position.first, &position.second);
        return position;
    };
    const auto [x, y] = where();
    // Save Clip, in the panel's own coordinates (the panel's layout has fixed heights).
    const std::string saveClipX = std::to_string(x + 150), saveClipY = std::to_string(y + 201);
    ASSERT_TRUE(test::runProgram({"xdotool", "mousemove", "--sync", saveClipX, saveClipY, "click", "--repeat",
                                  "3", "--delay", "150", "1"}));
    EXPECT_TRUE(test::waitUntil(
        [&] {
            return backreel({"--quit"}, &status) == 1 &&
                   status.find("keeps 3 unsaved clips") != std::string::npos;
        },
        20s))
        << status << app.output();

    // A tap on the background, then the pointer goes elsewhere: the panel stays.
    ASSERT_TRUE(
        test::runProgram({"xdotool", "mousemove", "--sync", std::to_string(x + 30), std::to_string(y + 30),
                          "click", "1", "mousemove", "--sync", "200", "300"}));
    QThread::msleep(300);
    EXPECT_EQ(where(), std::pair(x, y));

    EXPECT_EQ(backreel({"--quit", "--discard-unsaved"}), 0);
    EXPECT_TRUE(app.waitForSuccess(20s)) << app.output();
}
