#include "line_channel.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kelvo {

namespace {

constexpr std::string_view PARAM_CHANGED_PREFIX = R"({"type":"kelvo.paramChanged","path":")";

// The parameter a "kelvo.paramChanged" text is about, or empty for any other
// text. The controller writes these with the path first.
std::string_view paramChangedPath(std::string_view text) {
    if (text.substr(0, PARAM_CHANGED_PREFIX.size()) != PARAM_CHANGED_PREFIX) return {};
    const std::string_view rest = text.substr(PARAM_CHANGED_PREFIX.size());
    const size_t quote = rest.find('"');
    return quote == std::string_view::npos ? std::string_view{} : rest.substr(0, quote + 1);
}

}  // namespace

LineChannel::LineChannel(int fd, size_t maxQueuedBytes) : fd_(fd), maxQueuedBytes_(maxQueuedBytes) {
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) < 0) failed_ = true;
}

LineChannel::~LineChannel() {
    if (fd_ >= 0) ::close(fd_);
}

bool LineChannel::send(std::string_view text) {
    if (failed_ || text.find('\n') != std::string_view::npos) {
        ++droppedLines_;
        return false;
    }
    if (!queue_.empty() && coalesce(text)) {
        flush();
        return true;
    }
    if (queuedBytes_ + text.size() + 1 > maxQueuedBytes_) {
        ++droppedLines_;
        return false;
    }
    enqueue(text);
    flush();
    return true;
}

void LineChannel::enqueue(std::string_view text) {
    std::string line;
    line.reserve(text.size() + 1);
    line.append(text).push_back('\n');
    queuedBytes_ += line.size();
    queue_.push_back(std::move(line));
}

// A value change waiting behind a full socket is superseded by a newer one for
// the same parameter: the older leaves the queue (unless partly written) and
// the newer goes to its end, after anything else that was waiting.
bool LineChannel::coalesce(std::string_view text) {
    const std::string_view path = paramChangedPath(text);
    if (path.empty()) return false;
    for (size_t i = frontWritten_ > 0 ? 1 : 0; i < queue_.size(); ++i) {
        if (paramChangedPath(queue_[i]) != path) continue;
        queuedBytes_ -= queue_[i].size();
        queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(i));
        enqueue(text);
        return true;
    }
    return false;
}

void LineChannel::flush() {
    while (!failed_ && !queue_.empty()) {
        const std::string& front = queue_.front();
        const ssize_t sent = ::send(fd_, front.data() + frontWritten_, front.size() - frontWritten_,
                                    MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) failed_ = true;
            return;
        }
        frontWritten_ += static_cast<size_t>(sent);
        if (frontWritten_ < front.size()) continue;
        queuedBytes_ -= front.size();
        queue_.pop_front();
        frontWritten_ = 0;
    }
}

bool LineChannel::receive(std::vector<std::string>& lines) {
    if (failed_) return false;
    char buffer[65536];
    // Bounded per call: the run loop calls again while data waits.
    for (int reads = 0; reads < 64; ++reads) {
        const ssize_t got = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0) {
            failed_ = true;
            return false;
        }
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            failed_ = true;
            return false;
        }
        incoming_.append(buffer, static_cast<size_t>(got));
        takeLines(lines);
    }
    return true;
}

void LineChannel::takeLines(std::vector<std::string>& lines) {
    size_t start = 0;
    for (size_t newline; (newline = incoming_.find('\n', start)) != std::string::npos;
         start = newline + 1) {
        const size_t length = newline - start;
        if (!skippingLongLine_ && length <= MAX_INCOMING_LINE)
            lines.emplace_back(incoming_, start, length);
        skippingLongLine_ = false;
    }
    incoming_.erase(0, start);
    // A line already over the cap is dropped now rather than held.
    if (incoming_.size() > MAX_INCOMING_LINE) {
        incoming_.clear();
        skippingLongLine_ = true;
    }
}

}  // namespace kelvo
