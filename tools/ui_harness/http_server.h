// A small HTTP/1.1 server on 127.0.0.1 for one process's poll loop: one
// request per connection, and WebSocket upgrades on one path whose text
// messages go to a handler and to which texts can be broadcast.
#pragma once

#include <poll.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "websocket.h"

namespace kelvo::harness {

struct HttpRequest {
    std::string method;
    std::string path;                            // still percent-encoded, without the query
    std::string query;                           // after "?", empty when none
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
};

class HttpServer {
  public:
    using RequestHandler = std::function<HttpResponse(const HttpRequest&)>;
    using TextHandler = WebSocketReader::TextHandler;

    HttpServer(RequestHandler onRequest, std::string socketPath, TextHandler onText);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on 127.0.0.1:port (0: any free port); false with errno set.
    bool listen(uint16_t port);
    uint16_t port() const { return port_; }

    // The descriptors to wait on, appended to `fds`; then handle() with the
    // same vector once poll returned.
    void addPollFds(std::vector<pollfd>& fds) const;
    void handle(const std::vector<pollfd>& fds);
    // Sends a text message to every open WebSocket.
    void broadcast(const std::string& text);

  private:
    struct Connection;

    void accept();
    void readFrom(Connection& connection);
    void writeTo(Connection& connection);
    void serveHttp(Connection& connection);
    bool upgrade(Connection& connection, const HttpRequest& request);

    RequestHandler onRequest_;
    std::string socketPath_;
    TextHandler onText_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace kelvo::harness
