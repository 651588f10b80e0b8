#include "hosted_bank_worker.h"

#include <system_error>

namespace kelvo {

bool HostedBankWorker::start(const std::string& url, const std::string& sha256,
                             const HostedFetchOptions& options) {
    cancel();
    url_ = url;
    sha256_ = sha256;
    options_ = options;
    options_.cancel = &cancelled_;
    result_ = {};
    try {
        thread_ = std::thread(&HostedBankWorker::run, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void HostedBankWorker::run() noexcept {
    try {
        result_.ok = fetchHostedBank(url_, sha256_, result_.directory, result_.error, options_);
    } catch (...) {
        // Only std::bad_alloc from the texts: a failed fetch all the same.
        result_.ok = false;
    }
    // Publishes the result to the thread that sees the flag.
    finished_.store(true, std::memory_order_release);
}

bool HostedBankWorker::collect(Result& result) {
    if (!thread_.joinable() || !finished_.load(std::memory_order_acquire)) return false;
    thread_.join();
    finished_.store(false, std::memory_order_relaxed);
    result = std::move(result_);
    return true;
}

void HostedBankWorker::cancel() {
    if (!thread_.joinable()) return;
    cancelled_.store(true, std::memory_order_relaxed);
    thread_.join();
    cancelled_.store(false, std::memory_order_relaxed);
    finished_.store(false, std::memory_order_relaxed);
}

}  // namespace kelvo
