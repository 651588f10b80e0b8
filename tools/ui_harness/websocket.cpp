#include "websocket.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

namespace kelvo::harness {

namespace {

constexpr std::string_view HANDSHAKE_GUID = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
constexpr uint16_t CLOSE_NORMAL = 1000;
constexpr uint16_t CLOSE_PROTOCOL_ERROR = 1002;
constexpr uint16_t CLOSE_UNSUPPORTED_DATA = 1003;
constexpr uint16_t CLOSE_TOO_BIG = 1009;
constexpr size_t CONTROL_PAYLOAD_CAP = 125;

}  // namespace

std::string webSocketAccept(std::string_view key) {
    const std::string text = std::string(key) + std::string(HANDSHAKE_GUID);
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    unsigned char encoded[4 * ((SHA_DIGEST_LENGTH + 2) / 3) + 1];
    const int length = EVP_EncodeBlock(encoded, digest, SHA_DIGEST_LENGTH);
    return std::string(reinterpret_cast<char*>(encoded), static_cast<size_t>(length));
}

std::string webSocketFrame(WsOpcode opcode, std::string_view payload) {
    std::string frame;
    frame += static_cast<char>(0x80 | static_cast<uint8_t>(opcode));
    const uint64_t size = payload.size();
    if (size < 126) {
        frame += static_cast<char>(size);
    } else if (size <= 0xFFFF) {
        frame += static_cast<char>(126);
        frame += static_cast<char>(size >> 8);
        frame += static_cast<char>(size & 0xFF);
    } else {
        frame += static_cast<char>(127);
        for (int shift = 56; shift >= 0; shift -= 8)
            frame += static_cast<char>((size >> shift) & 0xFF);
    }
    frame.append(payload);
    return frame;
}

std::string webSocketClose(uint16_t code) {
    const char payload[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    return webSocketFrame(WsOpcode::Close, std::string_view(payload, 2));
}

bool WebSocketReader::consume(std::string& input, std::string& output, const TextHandler& onText) {
    size_t at = 0;
    bool open = !closed_;
    while (open) {
        const size_t available = input.size() - at;
        if (available < 2) break;
        const auto* bytes = reinterpret_cast<const uint8_t*>(input.data() + at);
        const bool fin = (bytes[0] & 0x80) != 0;
        const uint8_t opcode = bytes[0] & 0x0F;
        // No extension was agreed, so the reserved bits must be clear; a
        // client's frames are always masked.
        if ((bytes[0] & 0x70) != 0 || (bytes[1] & 0x80) == 0) {
            open = fail(CLOSE_PROTOCOL_ERROR, output);
            break;
        }
        uint64_t length = bytes[1] & 0x7F;
        size_t header = 2;
        if (length >= 126) {
            const size_t extra = length == 126 ? 2 : 8;
            if (available < header + extra) break;
            length = 0;
            for (size_t i = 0; i < extra; ++i)
                length = (length << 8) | bytes[header + i];
            header += extra;
        }
        if (length > WEBSOCKET_MESSAGE_CAP) {
            open = fail(CLOSE_TOO_BIG, output);
            break;
        }
        if (available < header + 4 + length) break;
        const uint8_t* mask = bytes + header;
        std::string payload(input, at + header + 4, length);
        for (size_t i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<char>(payload[i] ^ mask[i % 4]);
        at += header + 4 + length;
        open = frame(opcode, fin, payload, output, onText);
    }
    input.erase(0, open ? at : input.size());
    return open;
}

bool WebSocketReader::frame(uint8_t opcode, bool fin, std::string_view payload, std::string& output,
                            const TextHandler& onText) {
    if (opcode >= 8) {
        if (!fin || payload.size() > CONTROL_PAYLOAD_CAP) return fail(CLOSE_PROTOCOL_ERROR, output);
        if (opcode == static_cast<uint8_t>(WsOpcode::Ping)) {
            output += webSocketFrame(WsOpcode::Pong, payload);
            return true;
        }
        if (opcode == static_cast<uint8_t>(WsOpcode::Pong)) return true;
        if (opcode != static_cast<uint8_t>(WsOpcode::Close))
            return fail(CLOSE_PROTOCOL_ERROR, output);
        closed_ = true;
        output += payload.size() >= 2 ? webSocketFrame(WsOpcode::Close, payload.substr(0, 2))
                                      : webSocketClose(CLOSE_NORMAL);
        return false;
    }
    const bool continuation = opcode == 0;
    if (continuation != inMessage_) return fail(CLOSE_PROTOCOL_ERROR, output);
    if (opcode == static_cast<uint8_t>(WsOpcode::Binary))
        return fail(CLOSE_UNSUPPORTED_DATA, output);
    if (!continuation && opcode != static_cast<uint8_t>(WsOpcode::Text))
        return fail(CLOSE_PROTOCOL_ERROR, output);
    if (message_.size() + payload.size() > WEBSOCKET_MESSAGE_CAP)
        return fail(CLOSE_TOO_BIG, output);
    message_.append(payload);
    inMessage_ = !fin;
    if (fin) {
        onText(message_);
        message_.clear();
    }
    return true;
}

bool WebSocketReader::fail(uint16_t code, std::string& output) {
    closed_ = true;
    message_.clear();
    output += webSocketClose(code);
    return false;
}

}  // namespace kelvo::harness
