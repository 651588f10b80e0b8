// The browser harness's WebSocket framing: what a browser may send (masked,
// fragmented, split over reads, pings between fragments, a close) and what
// must end the connection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "websocket.h"

namespace kelvo::harness {
namespace {

// A client frame: masked, as browsers send them, unless told otherwise.
std::string frame(uint8_t opcode, const std::string& payload, bool fin = true, bool masked = true) {
    const uint64_t size = payload.size();
    const int lengthBytes = size < 126 ? 0 : size <= 0xFFFF ? 2 : 8;
    std::string out{static_cast<char>((fin ? 0x80 : 0) | opcode),
                    static_cast<char>((masked ? 0x80 : 0) | (lengthBytes == 0   ? size
                                                             : lengthBytes == 2 ? 126
                                                                                : 127))};
    for (int i = lengthBytes - 1; i >= 0; --i)
        out += static_cast<char>(size >> (8 * i));
    const char mask[4] = {0x12, 0x34, 0x56, 0x78};
    if (masked) out.append(mask, 4);
    for (size_t i = 0; i < size; ++i)
        out += static_cast<char>(payload[i] ^ (masked ? mask[i % 4] : 0));
    return out;
}

TEST(WebSocket, TheAcceptKeyAndServerFramesFollowTheProtocol) {
    EXPECT_EQ(webSocketAccept("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
    // The shortest length form each time.
    EXPECT_EQ(webSocketFrame(WsOpcode::Text, "hi"), std::string("\x81\x02hi"));
    EXPECT_EQ(webSocketFrame(WsOpcode::Text, std::string(200, 'a')).substr(0, 4),
              std::string("\x81\x7e\x00\xc8", 4));
    const std::string big = webSocketFrame(WsOpcode::Text, std::string(70000, 'a'));
    EXPECT_EQ(big.substr(0, 10), std::string("\x81\x7f\x00\x00\x00\x00\x00\x01\x11\x70", 10));
    EXPECT_EQ(big.size(), 70010u);
}

struct Case {
    std::vector<std::string> reads;  // what arrives, read by read
    std::vector<std::string> texts;  // whole messages handed on
    std::string output;              // replies
};

TEST(WebSocket, ReadsMessagesAndRepliesToControlFrames) {
    const std::string mib(WEBSOCKET_MESSAGE_CAP, 'x'), b300(300, 'b');
    const std::string pong = webSocketFrame(WsOpcode::Pong, "p");
    const Case cases[] = {
        {{frame(1, "hi")}, {"hi"}, ""},
        {{frame(1, "he", false) + frame(9, "p") + frame(0, "llo")}, {"hello"}, pong},
        {{frame(1, b300).substr(0, 3), frame(1, b300).substr(3)}, {b300}, ""},
        {{frame(10, "")}, {}, ""},     // a pong is ignored
        {{frame(1, mib)}, {mib}, ""},  // exactly the cap
        // Each of these ends the connection; a close echoes its code.
        {{frame(8, "\x03\xe9") + frame(1, "late")}, {}, webSocketClose(1001)},
        {{frame(1, "hi", true, false)}, {}, webSocketClose(1002)},           // unmasked
        {{frame(0, "hi")}, {}, webSocketClose(1002)},                        // a continuation first
        {{frame(1, "a", false) + frame(1, "b")}, {}, webSocketClose(1002)},  // a text inside one
        {{frame(9, "p", false)}, {}, webSocketClose(1002)},                  // a fragmented ping
        {{frame(2, "b")}, {}, webSocketClose(1003)},                         // binary
        {{frame(1, mib, false) + frame(0, "y")}, {}, webSocketClose(1009)},  // beyond the cap
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        WebSocketReader reader;
        std::vector<std::string> texts;
        std::string input, output;
        bool open = true;
        for (const std::string& read : cases[i].reads) {
            input += read;
            open = reader.consume(input, output,
                                  [&](const std::string& text) { texts.push_back(text); });
        }
        EXPECT_EQ(texts, cases[i].texts);
        EXPECT_EQ(output, cases[i].output);
        EXPECT_EQ(open, !cases[i].output.starts_with('\x88'));  // open unless it closed
    }
}

}  // namespace
}  // namespace kelvo::harness
