// The server's half of a WebSocket: the handshake's accept key, reading the
// frames a browser sends (masked, possibly fragmented, with pings and a
// close) into whole text messages, and writing unmasked frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kelvo::harness {

inline constexpr size_t WEBSOCKET_MESSAGE_CAP = 1 << 20;

// The Sec-WebSocket-Accept value for a client's Sec-WebSocket-Key.
std::string webSocketAccept(std::string_view key);

enum class WsOpcode : uint8_t { Text = 1, Binary = 2, Close = 8, Ping = 9, Pong = 10 };

// One whole frame with FIN set, as a server sends it (no mask).
std::string webSocketFrame(WsOpcode opcode, std::string_view payload);
// A close frame carrying a status code.
std::string webSocketClose(uint16_t code);

class WebSocketReader {
  public:
    using TextHandler = std::function<void(const std::string& text)>;

    // Consumes every whole frame at the front of `input`, hands each finished
    // text message to `onText` and appends replies (pong, close) to `output`.
    // Returns false once the connection is to close after `output` is sent:
    // the peer closed, or broke the protocol or the size cap.
    bool consume(std::string& input, std::string& output, const TextHandler& onText);

  private:
    bool frame(uint8_t opcode, bool fin, std::string_view payload, std::string& output,
               const TextHandler& onText);
    bool fail(uint16_t code, std::string& output);

    std::string message_;
    bool inMessage_ = false;
    bool closed_ = false;
};

}  // namespace kelvo::harness
