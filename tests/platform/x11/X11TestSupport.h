#pragma once

// What the X11 backend's tests share: a connection of the test's own for its windows, a helper
// process that shows a window of another process, the content request made synchronous, and an
// output that keeps the frames it gets.

#include "platform/CaptureStream.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/ShareableContent.h"
#include "platform/x11/X11CaptureService.h"
#include "XcbTestWindow.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <QString>
#include <QStringList>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace backreel::test {

// A value handed from a completion on any thread to the waiting test, through an atomic flag
// (std::future's hand-over is invisible to ThreadSanitizer). Set once; the waiter polls.
template <typename T> class Handover {
public:
    void set(T value) {
        value_ = std::move(value);
        ready_.store(true, std::memory_order_release);
    }
    T get() {
        while (!ready_.load(std::memory_order_acquire)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return std::move(*value_);
    }

private:
    std::optional<T> value_;
    std::atomic<bool> ready_ = false;
};

// Polls until the condition holds or the time is up; true when it held.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

// A program started for a test, its output going to a file of its own. Not QProcess: its
// vfork-style child runs intercepted calls in our memory, which hides the starting thread's
// synchronisation from ThreadSanitizer; posix_spawn's child runs none.
class SpawnedProcess {
public:
    SpawnedProcess() = default;
    ~SpawnedProcess() {
        terminate();
        if (!outputPath_.empty()) {
            std::remove(outputPath_.c_str());
        }
    }
    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;

    bool start(const std::vector<std::string>& arguments) {
        char path[] = "/tmp/backreel-x11-test.XXXXXX";
        const int file = mkstemp(path);
        if (file < 0) {
            return false;
        }
        close(file);
        outputPath_ = path;
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, path, O_WRONLY | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const int result = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (result != 0) {
            pid_ = -1;
        }
        return pid_ > 0;
    }

    pid_t pid() const { return pid_; }

    // Waits for the program to end, at most the timeout: its exit status, -1 when it did not end.
    int wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
        int status = 0;
        const bool ended =
            pid_ > 0 && waitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
        if (!ended) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The first line the program wrote, once it is complete.
    std::optional<std::string>
    firstLine(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const {
        std::optional<std::string> line;
        waitUntil(
            [&] {
                std::ifstream output(outputPath_);
                std::string text((std::istreambuf_iterator<char>(output)), std::istreambuf_iterator<char>());
                if (const auto end = text.find('\n'); end != std::string::npos) {
                    line = text.substr(0, end);
                }
                return line.has_value();
            },
            timeout);
        return line;
    }

    // SIGTERM, then SIGKILL if it is still there after three seconds; reaps it.
    void terminate() {
        if (pid_ <= 0) {
            return;
        }
        ::kill(pid_, SIGTERM);
        int status = 0;
        const bool ended = waitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; },
                                     std::chrono::milliseconds(3000));
        if (!ended) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    std::string outputPath_;
};

// A window of another process (tests/platform/x11/PatternWindowHelper.cpp) with the pattern.
class HelperWindow {
public:
    HelperWindow(int x, int y, int width, int height, const std::string& title) {
        if (process_.start({BACKREEL_PATTERN_WINDOW_HELPER, std::to_string(x), std::to_string(y),
                            std::to_string(width), std::to_string(height), title})) {
            processID_ = process_.pid();
            window_ = static_cast<std::uint32_t>(std::stoul(process_.firstLine().value_or("0")));
        }
    }

    std::uint32_t id() const { return window_; }
    std::int64_t processID() const { return processID_; }
    void close() { process_.terminate(); }

private:
    SpawnedProcess process_;
    std::int64_t processID_ = 0;
    std::uint32_t window_ = 0;
};

// An X server of a test's own, one that can go away or lack an extension. -noreset: otherwise it
// restarts, refusing connections for a moment, each time its last client leaves.
class PrivateXServer {
public:
    explicit PrivateXServer(const std::vector<std::string>& extraArguments) {
        std::vector<std::string> arguments = {"Xvfb",       "-displayfd", "1",         "-screen", "0",
                                              "320x240x24", "-noreset",   "-nolisten", "tcp"};
        arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
        if (process_.start(arguments)) {
            if (const std::optional<std::string> number = process_.firstLine()) {
                display_ = QByteArray(":") + QByteArray::fromStdString(*number);
            }
        }
    }

    const QByteArray& display() const { return display_; }
    void stop() { process_.terminate(); } // SIGTERM lets Xvfb remove its lock file and socket

private:
    SpawnedProcess process_;
    QByteArray display_;
};

// Points DISPLAY elsewhere while it lives (connections and helper processes made meanwhile use it).
class DisplayOverride {
public:
    explicit DisplayOverride(const QByteArray& display)
        : previous_(qgetenv("DISPLAY")) {
        qputenv("DISPLAY", display);
    }
    ~DisplayOverride() { qputenv("DISPLAY", previous_); }
    DisplayOverride(const DisplayOverride&) = delete;
    DisplayOverride& operator=(const DisplayOverride&) = delete;

private:
    QByteArray previous_;
};

// The fixture of every test that needs the X server: skips without one.
class X11Test : public ::testing::Test {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            GTEST_SKIP() << "DISPLAY is not set; run under scripts/virtual-desktop";
        }
        connection_.reset(xcb_connect(nullptr, nullptr));
        if (xcb_connection_has_error(connection_.get()) != 0) {
            GTEST_SKIP() << "the X display " << display << " can't be opened";
        }
    }

    xcb_connection_t* connection() const { return connection_.get(); }

    std::unique_ptr<TestWindow> ownWindow(TestWindowOptions options) {
        return std::make_unique<TestWindow>(connection_.get(), options);
    }

    static Expected<ShareableContent> content(X11CaptureService& service) {
        auto result = std::make_shared<Handover<Expected<ShareableContent>>>();
        service.getShareableContent(
            [result](Expected<ShareableContent> value) { result->set(std::move(value)); });
        return result->get();
    }

    static const Window* findWindow(const ShareableContent& content, std::uint32_t id) {
        for (const Window& window : content.windows) {
            if (window.windowID == id) {
                return &window;
            }
        }
        return nullptr;
    }

    static const Display* findDisplay(const ShareableContent& content, const QString& name) {
        for (const Display& display : content.displays) {
            if (display.name == name) {
                return &display;
            }
        }
        return nullptr;
    }

private:
    x11::XcbConnectionPtr connection_;
};

// Keeps the newest screen frame and counts every sample.
class FrameCollector final : public StreamOutput {
public:
    void didOutputSampleBuffer(CaptureStream&, const MediaSamplePtr& sample, StreamOutputType type) override {
        if (delay.count() > 0 && type == StreamOutputType::screen) {
            std::this_thread::sleep_for(delay);
        }
        std::lock_guard lock(mutex_);
        if (type == StreamOutputType::screen) {
            ++frames_;
            latest_ = sample;
        } else {
            ++audio_;
        }
    }

    MediaSamplePtr latest() const {
        std::lock_guard lock(mutex_);
        return latest_;
    }
    int frames() const {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    int audioSamples() const {
        std::lock_guard lock(mutex_);
        return audio_;
    }

    std::chrono::milliseconds delay{0};

private:
    mutable std::mutex mutex_;
    MediaSamplePtr latest_;
    int frames_ = 0;
    int audio_ = 0;
};

class RecordingDelegate final : public StreamDelegate {
public:
    void streamDidStopWithError(CaptureStream&, const Error& error) override {
        std::lock_guard lock(mutex_);
        errors_.push_back(error);
    }
    std::vector<Error> errors() const {
        std::lock_guard lock(mutex_);
        return errors_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Error> errors_;
};

// 0xRRGGBB of a pixel of a BGRA picture.
inline std::uint32_t rgbAt(const ImageBuffer& image, int x, int y) {
    const std::byte* pixel = image.baseAddress() + static_cast<std::size_t>(y) * image.bytesPerRow() +
                             static_cast<std::size_t>(x) * 4;
    return (std::to_integer<std::uint32_t>(pixel[2]) << 16) |
           (std::to_integer<std::uint32_t>(pixel[1]) << 8) | std::to_integer<std::uint32_t>(pixel[0]);
}

inline MaybeError startAndWait(CaptureStream& stream) {
    auto result = std::make_shared<Handover<MaybeError>>();
    stream.startCapture([result](MaybeError error) { result->set(std::move(error)); });
    return result->get();
}

inline MaybeError stopAndWait(CaptureStream& stream) {
    auto result = std::make_shared<Handover<MaybeError>>();
    stream.stopCapture([result](MaybeError error) { result->set(std::move(error)); });
    return result->get();
}

} // namespace backreel::test
