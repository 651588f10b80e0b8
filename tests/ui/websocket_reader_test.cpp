// The browser harness's WebSocket framing: what a browser may send (masked,
// fragmented, split over reads, pings between fragments, a close) and what
// must end the connection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "websocket.h"

namespace kelvo::harness {
namespace {

// A client frame: masked, as browsers send them.
std::string clientFrame(uint8_t opcode, const std::string& payload, bool fin = true,
                        bool masked = true) {
    std::string frame(1, static_cast<char>((fin ? 0x80 : 0) | opcode));
    const size_t size = payload.size();
    const char maskBit = masked ? static_cast<char>(0x80) : 0;
    if (size < 126) {
        frame += static_cast<char>(maskBit | static_cast<char>(size));
    } else if (size <= 0xFFFF) {
        frame += static_cast<char>(maskBit | 126);
        frame += static_cast<char>(size >> 8);
        frame += static_cast<char>(size & 0xFF);
    } else {
        frame += static_cast<char>(maskBit | 127);
        for (int shift = 56; shift >= 0; shift -= 8)
            frame += static_cast<char>((size >> shift) & 0xFF);
    }
    const char mask[4] = {0x12, 0x34, 0x56, 0x78};
    if (masked) frame.append(mask, 4);
    for (size_t i = 0; i < size; ++i)
        frame += masked ? static_cast<char>(payload[i] ^ mask[i % 4]) : payload[i];
    return frame;
}

TEST(WebSocket, AcceptKeyFollowsTheHandshakeRule) {
    EXPECT_EQ(webSocketAccept("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

TEST(WebSocket, ServerFramesUseTheShortestLengthForm) {
    EXPECT_EQ(webSocketFrame(WsOpcode::Text, "hi"), std::string("\x81\x02hi"));
    EXPECT_EQ(webSocketFrame(WsOpcode::Text, std::string(200, 'a')).substr(0, 4),
              std::string("\x81\x7e\x00\xc8", 4));
    const std::string big = webSocketFrame(WsOpcode::Text, std::string(70000, 'a'));
    EXPECT_EQ(big.substr(0, 10), std::string("\x81\x7f\x00\x00\x00\x00\x00\x01\x11\x70", 10));
    EXPECT_EQ(big.size(), 70010u);
}

struct Case {
    const char* name;
    std::vector<std::string> reads;  // what arrives, read by read
    std::vector<std::string> texts;  // whole messages handed on
    std::string output;              // replies
    bool open;
};

TEST(WebSocket, ReadsMessagesAndRepliesToControlFrames) {
    const std::string mib(WEBSOCKET_MESSAGE_CAP, 'x');
    const Case cases[] = {
        {"one text", {clientFrame(1, "hi")}, {"hi"}, "", true},
        {"fragments around a ping",
         {clientFrame(1, "he", false) + clientFrame(9, "p") + clientFrame(0, "llo")},
         {"hello"},
         webSocketFrame(WsOpcode::Pong, "p"),
         true},
        {"split over reads",
         {clientFrame(1, std::string(300, 'b')).substr(0, 3),
          clientFrame(1, std::string(300, 'b')).substr(3)},
         {std::string(300, 'b')},
         "",
         true},
        {"a pong is ignored", {clientFrame(10, "")}, {}, "", true},
        {"exactly the cap", {clientFrame(1, mib)}, {mib}, "", true},
        {"close echoes its code",
         {clientFrame(8, "\x03\xe9") + clientFrame(1, "late")},
         {},
         webSocketClose(1001),
         false},
        {"unmasked", {clientFrame(1, "hi", true, false)}, {}, webSocketClose(1002), false},
        {"continuation first", {clientFrame(0, "hi")}, {}, webSocketClose(1002), false},
        {"text inside a message",
         {clientFrame(1, "a", false) + clientFrame(1, "b")},
         {},
         webSocketClose(1002),
         false},
        {"fragmented ping", {clientFrame(9, "p", false)}, {}, webSocketClose(1002), false},
        {"binary", {clientFrame(2, "b")}, {}, webSocketClose(1003), false},
        {"fragments beyond the cap",
         {clientFrame(1, mib, false) + clientFrame(0, "y")},
         {},
         webSocketClose(1009),
         false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        WebSocketReader reader;
        std::vector<std::string> texts;
        std::string input, output;
        bool open = true;
        for (const std::string& read : test.reads) {
            input += read;
            open = reader.consume(input, output,
                                  [&](const std::string& text) { texts.push_back(text); });
        }
        EXPECT_EQ(texts, test.texts);
        EXPECT_EQ(output, test.output);
        EXPECT_EQ(open, test.open);
    }
}

}  // namespace
}  // namespace kelvo::harness
