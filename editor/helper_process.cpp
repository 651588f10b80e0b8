#include "helper_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace kelvo {

namespace {

class SpawnSetup {
  public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // The child's descriptors are exactly stdin (empty), stdout, stderr and
    // the socket; hosts leave many of theirs without close-on-exec.
    bool prepare(int socketFd) {
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        return posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               posix_spawn_file_actions_adddup2(&actions, socketFd, HelperProcess::SOCKET_FD) ==
                   0 &&
               posix_spawn_file_actions_addclosefrom_np(&actions, HelperProcess::SOCKET_FD + 1) ==
                   0 &&
               posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
               posix_spawnattr_setsigdefault(&attributes, &all) == 0 &&
               posix_spawnattr_setflags(&attributes,
                                        POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

}  // namespace

HelperProcess::~HelperProcess() {
    stop(std::chrono::milliseconds(0));
}

bool HelperProcess::start(const std::string& path, const std::vector<std::string>& arguments,
                          int socketFd) {
    if (running()) return false;
    // Duplicated above the target number so that the dup in the child always
    // yields a fresh descriptor without close-on-exec.
    const int childEnd = ::fcntl(socketFd, F_DUPFD_CLOEXEC, SOCKET_FD + 1);
    if (childEnd < 0) return false;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    SpawnSetup setup;
    pid_t pid = -1;
    const bool spawned =
        setup.prepare(childEnd) && posix_spawn(&pid, path.c_str(), &setup.actions,
                                               &setup.attributes, argv.data(), environ) == 0;
    ::close(childEnd);
    if (!spawned) return false;
    pid_ = pid;
    pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidFd_ >= 0) ::fcntl(pidFd_, F_SETFD, FD_CLOEXEC);
    return true;
}

bool HelperProcess::waitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t reaped = ::waitpid(pid_, &status, WNOHANG);
        if (reaped == pid_ || (reaped < 0 && errno == ECHILD)) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        if (pidFd_ >= 0) {
            pollfd exited{pidFd_, POLLIN, 0};
            ::poll(&exited, 1, static_cast<int>(left.count()));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
}

void HelperProcess::stop(std::chrono::milliseconds grace) {
    if (!running()) return;
    if (!waitForExit(grace)) {
        // Through the process descriptor the signal cannot reach a process
        // that reused the number after a host reaped ours.
        if (pidFd_ >= 0)
            ::syscall(SYS_pidfd_send_signal, pidFd_, SIGKILL, nullptr, 0);
        else
            ::kill(pid_, SIGKILL);
        waitForExit(std::chrono::seconds(5));
    }
    if (pidFd_ >= 0) ::close(pidFd_);
    pidFd_ = -1;
    pid_ = -1;
}

}  // namespace kelvo
