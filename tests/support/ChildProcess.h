#pragma once

// Helper programs for tests, and the polling wait for what another thread or process brings about.
// Not QProcess: its vfork-style child runs intercepted calls in the parent's memory, which hides the
// starting thread's synchronisation from ThreadSanitizer, so later hand-overs show as false races.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace backreel::test {

// Whether the condition came to hold in time. Polling: a timed condition-variable wait goes through
// pthread_cond_clockwait, which GCC 12's ThreadSanitizer does not intercept.
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

// A file's whole text; empty when it cannot be read.
inline std::string fileText(const std::string& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A program of the test's own, killed when this goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        kill();
        std::remove(output_.c_str());
    }

    // Starts arguments[0] from the PATH, its output (and errors, if asked) to output(); ends an earlier one.
    bool start(const std::vector<std::string>& arguments, bool withErrors = true) {
        kill();
        std::remove(output_.c_str());
        exitStatus_ = -1;
        char path[] = "/tmp/backreel-test-output.XXXXXX";
        close(mkstemp(path));
        output_ = path;
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, path, O_WRONLY, 0);
        withErrors ? posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO)
                   : posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        return pid_ > 0;
    }

    pid_t pid() const { return pid_; }
    bool running() {
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
            exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            pid_ = -1;
        }
        return pid_ > 0;
    }
    bool waitForSuccess(std::chrono::milliseconds timeout) {
        return waitUntil([&] { return !running(); }, timeout) && exitStatus_ == 0;
    }
    int exitStatus() const { return exitStatus_; }

    std::string output() const { return fileText(output_); }
    // The first line, once it is complete; empty if none comes.
    std::string firstLine() const {
        std::string text;
        waitUntil([&] { return (text = output()).find('\n') != std::string::npos; });
        return text.substr(0, text.find('\n'));
    }

    // SIGKILL; gently, SIGTERM first (which lets a server clean up) and SIGKILL after three seconds.
    void kill(bool gently = false) {
        if (gently && pid_ > 0) {
            ::kill(pid_, SIGTERM);
            waitUntil([&] { return !running(); }, std::chrono::seconds(3));
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int exitStatus_ = -1;
    std::string output_;
};

// Runs a program to its end; whether it succeeded in time, its output in `output`.
inline bool runProgram(const std::vector<std::string>& arguments, std::string* output = nullptr,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    ChildProcess process;
    const bool ok = process.start(arguments) && process.waitForSuccess(timeout);
    if (output != nullptr) {
        *output = process.output();
    }
    return ok;
}

// Whether a program is on the PATH.
inline bool installed(const std::string& program) {
    return runProgram({"sh", "-c", "command -v " + program});
}

} // namespace backreel::test
