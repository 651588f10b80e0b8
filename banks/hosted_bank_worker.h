// One hosted-bank fetch at a time on a thread of its own, so a download of
// up to five minutes never holds up the thread that asked for it. That
// thread starts the fetch, polls for its end and collects the result; the
// worker touches nothing but its own members.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "hosted_bank.h"

namespace kelvo {

class HostedBankWorker {
  public:
    struct Result {
        bool ok = false;
        std::string directory;  // the cache entry when ok
        std::string error;      // why not otherwise
    };

    HostedBankWorker() = default;
    HostedBankWorker(const HostedBankWorker&) = delete;
    HostedBankWorker& operator=(const HostedBankWorker&) = delete;
    ~HostedBankWorker() { cancel(); }

    // Cancels any fetch still running, then starts fetching `url` pinned by
    // `sha256`. False when no thread could be started.
    bool start(const std::string& url, const std::string& sha256,
               const HostedFetchOptions& options);
    // Started and not yet collected or cancelled.
    bool busy() const { return thread_.joinable(); }
    // When the fetch has ended: joins its thread, moves its result into
    // `result` and returns true. Otherwise returns false at once.
    bool collect(Result& result);
    // Stops a running fetch (within about a second) and waits for its
    // thread; its result is dropped.
    void cancel();

  private:
    void run() noexcept;

    std::thread thread_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    std::string url_, sha256_;
    HostedFetchOptions options_;
    Result result_;
};

}  // namespace kelvo
