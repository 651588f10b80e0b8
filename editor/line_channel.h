// The controller's end of the socket to the editor helper: one JSON text per
// line both ways. Writes never block: what the socket does not take waits in
// a bounded queue, where a newer "kelvo.paramChanged" for a parameter
// replaces the older one still waiting. Incoming lines longer than the cap
// are dropped whole and reading resumes after their newline.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

class LineChannel {
  public:
    static constexpr size_t MAX_INCOMING_LINE = 1 << 20;
    static constexpr size_t MAX_QUEUED_BYTES = 8 << 20;

    // Takes the descriptor and makes it non-blocking.
    explicit LineChannel(int fd, size_t maxQueuedBytes = MAX_QUEUED_BYTES);
    ~LineChannel();
    LineChannel(const LineChannel&) = delete;
    LineChannel& operator=(const LineChannel&) = delete;

    int fd() const { return fd_; }
    // Main thread: queues one line and writes what the socket takes. False
    // when the line was dropped: it holds a newline, the channel is closed,
    // or the queue is full.
    bool send(std::string_view text);
    // Main thread: writes queued lines until the socket is full.
    void flush();
    // Main thread: reads what is available and appends each complete line to
    // `lines`. False once the peer has closed the socket or it failed.
    bool receive(std::vector<std::string>& lines);

    size_t queuedBytes() const { return queuedBytes_; }
    size_t droppedLines() const { return droppedLines_; }

  private:
    bool coalesce(std::string_view text);
    // Appends `text` and its newline, counting its bytes.
    void enqueue(std::string_view text);
    void takeLines(std::vector<std::string>& lines);

    int fd_;
    size_t maxQueuedBytes_;
    std::deque<std::string> queue_;  // each with its newline
    size_t frontWritten_ = 0;        // bytes of the front line already sent
    size_t queuedBytes_ = 0;
    size_t droppedLines_ = 0;
    bool failed_ = false;
    std::string incoming_;
    bool skippingLongLine_ = false;
};

}  // namespace kelvo
