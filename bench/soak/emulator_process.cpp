// SPDX-License-Identifier: Apache-2.0
#include "emulator_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "run_clock.h"

extern char** environ;

namespace soak {
namespace {

constexpr double kStopWait = 5.0;
constexpr double kStopPoll = 0.01;

}  // namespace

EmulatorProcess::EmulatorProcess(std::string program, std::vector<std::string> arguments)
    : program_(std::move(program)), arguments_(std::move(arguments)) {}

EmulatorProcess::~EmulatorProcess() { stop(); }

bool EmulatorProcess::start(std::uint32_t mark) {
    if (running()) return false;
    // Close-on-exec: no other emulator inherits this one's control channel
    // (it would never see the end of its input).
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
    std::vector<std::string> words{program_};
    words.insert(words.end(), arguments_.begin(), arguments_.end());
    words.insert(words.end(), {"--control", "--stamp", std::to_string(mark)});
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, program_.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[0]);
    if (failed != 0) {
        close(pipeEnds[1]);
        std::fprintf(stderr, "soak: cannot start %s: error %d\n", program_.c_str(), failed);
        return false;
    }
    pid_ = pid;
    control_ = pipeEnds[1];
    return true;
}

bool EmulatorProcess::command(const std::string& line) {
    if (control_ < 0) return false;
    const std::string text = line + "\n";
    // SIGPIPE is ignored: a dead emulator gives EPIPE.
    return write(control_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void EmulatorProcess::closeControl() {
    if (control_ >= 0) close(control_);
    control_ = -1;
}

void EmulatorProcess::kill() {
    if (!running()) return;
    ::kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    closeControl();
}

bool EmulatorProcess::stop() {
    if (!running()) return false;
    closeControl();
    const double until = monotonicSeconds() + kStopWait;
    while (monotonicSeconds() < until) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
            std::fprintf(stderr, "soak: an emulator ended with status %d\n", status);
            return false;
        }
        sleepSeconds(kStopPoll);
    }
    std::fprintf(stderr, "soak: emulator %d did not stop within %.0f s; killed\n", static_cast<int>(pid_),
                 kStopWait);
    kill();
    return false;
}

bool EmulatorProcess::ended() {
    if (!running() || waitpid(pid_, nullptr, WNOHANG) != pid_) return false;
    pid_ = -1;
    closeControl();
    return true;
}

}  // namespace soak
