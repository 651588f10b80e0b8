// The controller's end of the helper socket: framing, the incoming cap, the
// bounded outgoing queue and what happens when the helper is gone.
#include "line_channel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <regex>
#include <utility>

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
    // Writes `bytes` from the peer, however many, while `channel` reads.
    void write(LineChannel& channel, const std::string& bytes) {
        for (size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = ::send(peer, bytes.data() + sent, bytes.size() - sent, MSG_DONTWAIT);
            sent += n > 0 ? static_cast<size_t>(n) : 0;
            ASSERT_TRUE(channel.receive(lines));
        }
    }
    // Everything the peer has read, after reading what waits now.
    const std::string& peerRead() {
        char buffer[65536];
        for (ssize_t got; (got = ::recv(peer, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
            received.append(buffer, static_cast<size_t>(got));
        return received;
    }

    int ours = -1, peer = -1;
    std::vector<std::string> lines;
    std::string received;
};

std::string paramChanged(const std::string& path, int value) {
    return R"({"type":"kelvo.paramChanged","path":")" + path + R"(","value":)" +
           std::to_string(value) + "}";
}

// Lines split wherever the reads do; one over the 1 MiB cap is dropped and
// reading resumes after it. Writing to a socket nobody reads raises SIGPIPE,
// which would end the host, unless the send suppresses it.
TEST_F(LineChannelTest, FramingTheIncomingCapAndAClosedPeer) {
    LineChannel channel(ours);
    const std::string atCap(LineChannel::MAX_INCOMING_LINE, 'a');
    write(channel, "{\"a\":1}\n{\"b\"");
    write(channel, ":2}\n\n" + atCap + "\n" + atCap + "b\nnext\n");
    EXPECT_EQ(lines, (std::vector<std::string>{"{\"a\":1}", "{\"b\":2}", "", atCap, "next"}));

    EXPECT_TRUE(channel.send("{\"d\":4}"));
    EXPECT_FALSE(channel.send("two\nlines"));
    EXPECT_EQ(peerRead(), "{\"d\":4}\n");
    ::close(std::exchange(peer, -1));
    channel.send("{}");
    EXPECT_FALSE(channel.receive(lines));
    EXPECT_FALSE(channel.send("{}"));
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
    for (const std::string& text :
         {paramChanged("kick.tune", 1), std::string(R"({"type":"kelvo.state"})"),
          paramChanged("kick.tune", 2), paramChanged("kick.tuneX", 3),
          paramChanged("kick.tune", 4)})
        EXPECT_TRUE(channel.send(text));
    EXPECT_FALSE(channel.send(std::string(300 * 1024, 'x')));
    EXPECT_EQ(channel.droppedLines(), 1u);

    for (int i = 0; i < 1000 && channel.queuedBytes() > 0; ++i) {
        peerRead();
        channel.flush();
    }
    EXPECT_EQ(std::regex_replace(peerRead(), std::regex("f+\n"), ""),
              R"({"type":"kelvo.state"})"
              "\n" +
                  paramChanged("kick.tuneX", 3) + "\n" + paramChanged("kick.tune", 4) + "\n");
}

}  // namespace
}  // namespace kelvo::test
