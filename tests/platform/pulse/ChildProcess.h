#pragma once

// Runs helper programs (pactl, pacat, sox, pulseaudio) for the PulseAudio tests.
//
// Not QProcess: its vfork-style child runs intercepted calls in the parent's memory, which leaves
// the starting thread's synchronisation invisible to ThreadSanitizer afterwards, and every later
// hand-over on that thread then shows up as a false race. posix_spawn's child runs none.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace backreel::test {

class ChildProcess {
public:
    // A variable to set (with a value) or to remove (without one).
    using EnvironmentChange = std::pair<std::string, std::optional<std::string>>;

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { kill(); }

    // Starts arguments[0], looked up in PATH, with standard output and error going to outputPath.
    bool start(const std::vector<std::string>& arguments, const std::vector<EnvironmentChange>& changes = {},
               const std::string& outputPath = "/dev/null") {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text(*entry);
            const std::string name = text.substr(0, text.find('='));
            bool changed = false;
            for (const EnvironmentChange& change : changes) {
                changed = changed || change.first == name;
            }
            if (!changed) {
                environment.push_back(text);
            }
        }
        for (const EnvironmentChange& change : changes) {
            if (change.second) {
                environment.push_back(change.first + "=" + *change.second);
            }
        }

        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        const int result = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (result != 0) {
            pid_ = -1;
        }
        return pid_ > 0;
    }

    bool running() {
        reap(WNOHANG);
        return pid_ > 0;
    }

    // Waits for the program to end; true when it ended with status 0 within the timeout.
    bool waitForSuccess(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (running()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return status_ && WIFEXITED(*status_) && WEXITSTATUS(*status_) == 0;
    }

    void kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            reap(0);
        }
    }

private:
    void reap(int options) {
        if (pid_ <= 0) {
            return;
        }
        int status = 0;
        if (waitpid(pid_, &status, options) == pid_) {
            status_ = status;
            pid_ = -1;
        }
    }

    pid_t pid_ = -1;
    std::optional<int> status_;
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
    const bool ok = process.start(arguments, {}, path) && process.waitForSuccess(timeout);
    if (output != nullptr) {
        std::ifstream stream(path);
        std::ostringstream text;
        text << stream.rdbuf();
        *output = text.str();
    }
    unlink(path);
    return ok;
}

} // namespace backreel::test
