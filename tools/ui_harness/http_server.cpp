#include "http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

namespace kelvo::harness {

namespace {

constexpr size_t HEADER_CAP = 64 * 1024;
constexpr size_t BODY_CAP = 1 << 20;
// A client that stops reading is dropped rather than buffered without end.
constexpr size_t OUTPUT_CAP = 64 << 20;

const char* reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Payload Too Large";
        default:
            return "Error";
    }
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string formatResponse(const HttpResponse& response) {
    std::string text = "HTTP/1.1 " + std::to_string(response.status) + " " +
                       reasonPhrase(response.status) + "\r\n";
    text += "Content-Type: " + response.contentType + "\r\n";
    text += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    text += "Cache-Control: no-store\r\nConnection: close\r\n\r\n";
    return text + response.body;
}

// Request line and headers; false for anything malformed.
bool parseHead(const std::string& head, HttpRequest& request) {
    const size_t lineEnd = head.find("\r\n");
    const std::string line = head.substr(0, lineEnd);
    const size_t space1 = line.find(' ');
    const size_t space2 = line.rfind(' ');
    if (space1 == std::string::npos || space2 == space1) return false;
    request.method = line.substr(0, space1);
    std::string target = line.substr(space1 + 1, space2 - space1 - 1);
    if (target.empty() || target[0] != '/') return false;
    if (const size_t mark = target.find('?'); mark != std::string::npos) {
        request.query = target.substr(mark + 1);
        target.resize(mark);
    }
    request.path = target;
    for (size_t at = lineEnd + 2; at < head.size();) {
        const size_t end = std::min(head.find("\r\n", at), head.size());
        const std::string header = head.substr(at, end - at);
        const size_t colon = header.find(':');
        if (colon == std::string::npos || colon == 0) return false;
        request.headers[lower(header.substr(0, colon))] = trim(header.substr(colon + 1));
        at = end + 2;
    }
    return true;
}

}  // namespace

struct HttpServer::Connection {
    int fd = -1;
    std::string input, output;
    bool webSocket = false;
    bool closeAfterWrite = false;
    bool closed = false;
    WebSocketReader reader;
};

HttpServer::HttpServer(RequestHandler onRequest, std::string socketPath, TextHandler onText)
    : onRequest_(std::move(onRequest)),
      socketPath_(std::move(socketPath)),
      onText_(std::move(onText)) {}

HttpServer::~HttpServer() {
    for (const auto& connection : connections_)
        close(connection->fd);
    if (listenFd_ >= 0) close(listenFd_);
}

bool HttpServer::listen(uint16_t port) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return false;
    const int yes = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 16) != 0)
        return false;
    socklen_t length = sizeof address;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    return true;
}

void HttpServer::addPollFds(std::vector<pollfd>& fds) const {
    fds.push_back({listenFd_, POLLIN, 0});
    for (const auto& connection : connections_) {
        short events = connection->closeAfterWrite ? 0 : POLLIN;
        if (!connection->output.empty()) events |= POLLOUT;
        fds.push_back({connection->fd, events, 0});
    }
}

void HttpServer::handle(const std::vector<pollfd>& fds) {
    bool incoming = false;
    for (const pollfd& entry : fds) {
        if (entry.revents == 0) continue;
        if (entry.fd == listenFd_) {
            incoming = true;
            continue;
        }
        for (const auto& connection : connections_) {
            if (connection->fd != entry.fd || connection->closed) continue;
            if (entry.revents & (POLLIN | POLLHUP | POLLERR)) readFrom(*connection);
            if (!connection->closed && (entry.revents & POLLOUT)) writeTo(*connection);
        }
    }
    // Replies and broadcasts made while handling go out at once when they can.
    for (const auto& connection : connections_)
        if (!connection->closed && !connection->output.empty()) writeTo(*connection);
    std::erase_if(connections_, [](const auto& connection) {
        if (connection->closed) close(connection->fd);
        return connection->closed;
    });
    if (incoming) accept();
}

void HttpServer::broadcast(const std::string& text) {
    const std::string frame = webSocketFrame(WsOpcode::Text, text);
    for (const auto& connection : connections_)
        if (connection->webSocket && !connection->closeAfterWrite) connection->output += frame;
}

void HttpServer::accept() {
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        connections_.push_back(std::move(connection));
    }
}

void HttpServer::readFrom(Connection& connection) {
    char buffer[16384];
    const ssize_t got = recv(connection.fd, buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (got <= 0) {
        // A client that half-closes after its request still gets the answer.
        if (got == 0 && !connection.output.empty())
            connection.closeAfterWrite = true;
        else
            connection.closed = true;
        return;
    }
    connection.input.append(buffer, static_cast<size_t>(got));
    if (!connection.webSocket) return serveHttp(connection);
    if (!connection.reader.consume(connection.input, connection.output, onText_))
        connection.closeAfterWrite = true;
}

void HttpServer::writeTo(Connection& connection) {
    while (!connection.output.empty()) {
        const ssize_t sent =
            send(connection.fd, connection.output.data(), connection.output.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && errno == EAGAIN) break;
        if (sent <= 0) {
            connection.closed = true;
            return;
        }
        connection.output.erase(0, static_cast<size_t>(sent));
    }
    if (connection.output.size() > OUTPUT_CAP) connection.closed = true;
    if (connection.output.empty() && connection.closeAfterWrite) connection.closed = true;
}

void HttpServer::serveHttp(Connection& connection) {
    const size_t headEnd = connection.input.find("\r\n\r\n");
    HttpResponse response;
    HttpRequest request;
    if (headEnd == std::string::npos) {
        if (connection.input.size() <= HEADER_CAP) return;
        response.status = 413;
    } else if (!parseHead(connection.input.substr(0, headEnd), request)) {
        response.status = 400;
    } else {
        const auto length = request.headers.find("content-length");
        const size_t bodyLength = length == request.headers.end()
                                      ? 0
                                      : std::strtoull(length->second.c_str(), nullptr, 10);
        if (bodyLength > BODY_CAP) {
            response.status = 413;
        } else {
            if (connection.input.size() < headEnd + 4 + bodyLength) return;
            request.body = connection.input.substr(headEnd + 4, bodyLength);
            connection.input.erase(0, headEnd + 4 + bodyLength);
            if (request.path == socketPath_ && upgrade(connection, request)) return;
            response = request.path == socketPath_
                           ? HttpResponse{400, "text/plain", "WebSocket only"}
                           : onRequest_(request);
        }
    }
    connection.output += formatResponse(response);
    connection.closeAfterWrite = true;
}

// Only pages served from this server may connect: another site open in the
// same browser could otherwise drive the plug-in.
bool HttpServer::upgrade(Connection& connection, const HttpRequest& request) {
    auto header = [&](const char* name) {
        const auto found = request.headers.find(name);
        return found == request.headers.end() ? std::string() : found->second;
    };
    const std::string origin = header("origin");
    if (request.method != "GET" || lower(header("upgrade")) != "websocket" ||
        header("sec-websocket-version") != "13" || header("sec-websocket-key").empty() ||
        (!origin.empty() && origin != "http://127.0.0.1:" + std::to_string(port_)))
        return false;
    connection.output +=
        "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
        "Connection: Upgrade\r\nSec-WebSocket-Accept: " +
        webSocketAccept(header("sec-websocket-key")) + "\r\n\r\n";
    connection.webSocket = true;
    if (!connection.input.empty() &&
        !connection.reader.consume(connection.input, connection.output, onText_))
        connection.closeAfterWrite = true;
    return true;
}

}  // namespace kelvo::harness
