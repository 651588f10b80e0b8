// The editor helper as a child process of the host: started without a shell
// and holding no descriptor of the host's but its socket, and ended within a
// bounded time whatever it is doing.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace kelvo {

class HelperProcess {
  public:
    // The descriptor the helper finds its socket on.
    static constexpr int SOCKET_FD = 3;

    HelperProcess() = default;
    // Stops the helper without waiting.
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // Main thread: runs `path` with `arguments` (after argv[0]); `socketFd`
    // becomes SOCKET_FD in the child, standard input reads /dev/null,
    // standard output and error are the host's, and every other descriptor
    // is closed. Signal mask and dispositions start at their defaults.
    bool start(const std::string& path, const std::vector<std::string>& arguments, int socketFd);
    // Main thread: waits up to `grace` for the helper to exit, then kills it,
    // and reaps it. A host that reaps children itself is tolerated.
    void stop(std::chrono::milliseconds grace);
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

  private:
    bool waitForExit(std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int pidFd_ = -1;  // -1 where the kernel offers no process descriptors
};

}  // namespace kelvo
