#pragma once

// Helper programs for tests (pactl, sox, Xvfb, xrandr, the pattern window), and the polling wait
// that tests use for anything another thread or process brings about.
//
// Not QProcess: its vfork-style child runs intercepted calls in the parent's memory, which leaves
// the starting thread's synchronisation invisible to ThreadSanitizer afterwards, and every later
// hand-over on that thread then shows up as a false race. posix_spawn's child runs none.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace backreel::test {

// Checks the condition every few milliseconds until it holds or the time is up; whether it held.
// Polling rather than a timed condition-variable wait: those go through pthread_cond_clockwait,
// which GCC 12's ThreadSanitizer does not intercept, so it would report the hand-over as a race.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        kill();
        if (!ownOutput_.empty()) {
            std::remove(ownOutput_.c_str());
        }
    }

    // Starts arguments[0], looked up in PATH, with standard output and error going to outputPath.
    bool start(const std::vector<std::string>& arguments, const std::string& outputPath = "/dev/null") {
        return spawn(arguments, outputPath, outputPath);
    }

    // Starts it with standard output going to a file of its own (see firstLine()), errors nowhere.
    bool startReadingOutput(const std::vector<std::string>& arguments) {
        char path[] = "/tmp/backreel-test-output.XXXXXX";
        const int file = mkstemp(path);
        if (file < 0) {
            return false;
        }
        close(file);
        ownOutput_ = path;
        return spawn(arguments, ownOutput_, "/dev/null");
    }

    pid_t pid() const { return pid_; }

    bool running() {
        reap(WNOHANG);
        return pid_ > 0;
    }

    // Waits for the program to end; true when it ended with status 0 within the timeout.
    bool waitForSuccess(std::chrono::milliseconds timeout) {
        waitUntil([&] { return !running(); }, timeout);
        return pid_ <= 0 && status_ && WIFEXITED(*status_) && WEXITSTATUS(*status_) == 0;
    }

    // The first line the program wrote after startReadingOutput(), once it is complete.
    std::optional<std::string> firstLine(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
        std::optional<std::string> line;
        waitUntil(
            [&] {
                std::ifstream output(ownOutput_);
                const std::string text((std::istreambuf_iterator<char>(output)),
                                       std::istreambuf_iterator<char>());
                if (const auto end = text.find('\n'); end != std::string::npos) {
                    line = text.substr(0, end);
                }
                return line.has_value();
            },
            timeout);
        return line;
    }

    // SIGTERM (which lets a server clean up), then SIGKILL if it is still there after three seconds.
    void terminate() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            waitUntil([&] { return !running(); }, std::chrono::seconds(3));
        }
        kill();
    }

    void kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            reap(0);
        }
    }

private:
    bool spawn(const std::vector<std::string>& arguments, const std::string& outputPath,
               const std::string& errorPath) {
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (errorPath == outputPath) {
            posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY, 0);
        }
        const int result = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (result != 0) {
            pid_ = -1;
        }
        return pid_ > 0;
    }

    void reap(int options) {
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, options) == pid_) {
            status_ = status;
            pid_ = -1;
        }
    }

    pid_t pid_ = -1;
    std::optional<int> status_;
    std::string ownOutput_;
};

// Runs a program to its end; true when it succeeded in time. Its output (standard output and
// error together) goes to output when asked for.
inline bool runProgram(const std::vector<std::string>& arguments, std::string* output = nullptr,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    char path[] = "/tmp/backreel-test-output.XXXXXX";
    const int file = mkstemp(path);
    if (file < 0) {
        return false;
    }
    close(file);
    ChildProcess process;
    const bool ok = process.start(arguments, path) && process.waitForSuccess(timeout);
    if (output != nullptr) {
        std::ifstream stream(path);
        output->assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    }
    std::remove(path);
    return ok;
}

} // namespace backreel::test
