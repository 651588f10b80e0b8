// The controller's end of the helper socket: framing, the incoming cap, the
// bounded outgoing queue and what happens when the helper is gone.
#include "line_channel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace kelvo::test {
namespace {

class LineChannelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        ours = ends[0];
        peer = ends[1];
    }
    void TearDown() override {
        if (peer >= 0) ::close(peer);
    }
    void write(const std::string& bytes) {
        ASSERT_EQ(::send(peer, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    }
    // Everything the peer can read now, split into lines.
    std::vector<std::string> peerLines() {
        std::string all;
        char buffer[65536];
        ssize_t got;
        while ((got = ::recv(peer, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            all.append(buffer, got);
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = all.find('\n', start)) != std::string::npos;
             start = end + 1)
            lines.push_back(all.substr(start, end - start));
        return lines;
    }

    int ours = -1;
    int peer = -1;
};

std::string paramChanged(const std::string& path, int value) {
    return R"({"type":"kelvo.paramChanged","path":")" + path + R"(","value":)" +
           std::to_string(value) + "}";
}

TEST_F(LineChannelTest, LinesAreSplitOnNewlinesWhateverTheReads) {
    LineChannel channel(ours);
    std::vector<std::string> lines;
    write("{\"a\":1}\n{\"b\"");
    ASSERT_TRUE(channel.receive(lines));
    write(":2}\n\n{\"c\":3}\n");
    ASSERT_TRUE(channel.receive(lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"{\"a\":1}", "{\"b\":2}", "", "{\"c\":3}"}));

    EXPECT_TRUE(channel.send("{\"d\":4}"));
    EXPECT_FALSE(channel.send("two\nlines"));
    EXPECT_EQ(peerLines(), std::vector<std::string>{"{\"d\":4}"});
}

TEST_F(LineChannelTest, AnOverlongIncomingLineIsDroppedAndReadingResumesAfterIt) {
    LineChannel channel(ours);
    const std::string atCap(LineChannel::MAX_INCOMING_LINE, 'a');
    const std::string overCap(LineChannel::MAX_INCOMING_LINE + 1, 'b');
    std::thread writer([&] {
        const std::string all = atCap + "\n" + overCap + "\nnext\n";
        for (size_t sent = 0; sent < all.size();) {
            const ssize_t n = ::send(peer, all.data() + sent, all.size() - sent, 0);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
    });
    std::vector<std::string> lines;
    for (int i = 0; i < 10000 && lines.size() < 2; ++i) {
        ASSERT_TRUE(channel.receive(lines));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    writer.join();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], atCap);
    EXPECT_EQ(lines[1], "next");
}

// A full socket keeps only the newest change per parameter, behind whatever
// else waits; other texts are kept until the queue's bound.
TEST_F(LineChannelTest, ValueChangesCoalescePerParameterWhileTheSocketIsFull) {
    const int small = 4096;
    ASSERT_EQ(::setsockopt(ours, SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
    LineChannel channel(ours, 256 * 1024);
    const std::string filler(1000, 'f');
    while (channel.queuedBytes() == 0)
        ASSERT_TRUE(channel.send(filler));

    EXPECT_TRUE(channel.send(paramChanged("kick.tune", 1)));
    EXPECT_TRUE(channel.send(R"({"type":"kelvo.state"})"));
    EXPECT_TRUE(channel.send(paramChanged("kick.tune", 2)));
    EXPECT_TRUE(channel.send(paramChanged("kick.tuneX", 3)));
    EXPECT_TRUE(channel.send(paramChanged("kick.tune", 4)));
    const std::string big(300 * 1024, 'x');
    EXPECT_FALSE(channel.send(big));
    EXPECT_EQ(channel.droppedLines(), 1u);

    std::vector<std::string> tail;
    for (int i = 0; i < 1000 && channel.queuedBytes() > 0; ++i) {
        for (std::string& line : peerLines())
            if (line != filler) tail.push_back(line);
        channel.flush();
    }
    for (std::string& line : peerLines())
        if (line != filler) tail.push_back(line);
    EXPECT_EQ(tail,
              (std::vector<std::string>{R"({"type":"kelvo.state"})", paramChanged("kick.tuneX", 3),
                                        paramChanged("kick.tune", 4)}));
}

// Writing to a socket nobody reads raises SIGPIPE, which would end the host,
// unless the send suppresses it.
TEST_F(LineChannelTest, AClosedPeerEndsTheChannelWithoutASignal) {
    LineChannel channel(ours);
    ::close(peer);
    peer = -1;
    channel.send("{}");
    channel.flush();
    std::vector<std::string> lines;
    EXPECT_FALSE(channel.receive(lines));
    EXPECT_FALSE(channel.send("{}"));
}

}  // namespace
}  // namespace kelvo::test
