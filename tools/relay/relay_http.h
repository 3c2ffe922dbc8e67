#pragma once

#include <boost/asio/ip/address.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// The relay's HTTP layer: every connection served asynchronously by a few threads, so that slow,
// idle or hostile clients cost a socket and a little memory each, never a thread.
namespace relay {

struct HttpLimits {
    // A request (its header and body) must arrive whole within this time of the connection
    // being taken, or of the first byte after a kept-alive answer.
    std::chrono::milliseconds requestDeadline{10000};
    // A kept-alive connection with no next request is closed after this.
    std::chrono::milliseconds idleDeadline{5000};
    // Open connections from one client (see clientKey()); more are refused at once. 0: no cap.
    int connectionsPerClient = 8;
    size_t ioThreads = 2;
    // Threads answering "/relay.php" (the database work), apart from the network's.
    size_t workerThreads = 2;
};

inline constexpr size_t kMaxHeaderBytes = 8 * 1024;

using HttpParser = boost::beast::http::request_parser<boost::beast::http::string_body>;

// The parser as the server reads every request: headers up to 8 KiB, a body up to 64 KiB on the
// wire (an announced length over it is refused before any of the body is read).
void limitParser(HttpParser& parser);

enum class HeaderVerdict {
    Accepted,
    Malformed,  // framing that two readers could disagree on: answered 400 and closed
    Compressed, // a Content-Encoding: the relay never inflates a body
};
// What the server does with a request once its header is read.
HeaderVerdict checkHeader(const boost::beast::http::request_header<>& header);

// The client whose connections and submissions are counted together: an IPv4 address, or the
// /64 network of an IPv6 one (a single host usually holds a whole /64). An IPv4 address mapped
// into IPv6 counts as the IPv4 one.
std::string clientKey(const boost::asio::ip::address& address);

struct HttpAnswer {
    unsigned status = 200;
    std::string contentType = "text/xml";
    std::string body;
};

// Runs on a worker thread: the answer to a POST of "/relay.php" with `body` from client `key`.
using RelayHandler = std::function<std::string(const std::string& body, const std::string& key)>;

class HttpServer {
public:
    HttpServer(RelayHandler relay, HttpLimits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on `address`:`port` (0 picks a free port); the port, or nothing (and error()).
    std::optional<int> listen(const std::string& address, int port);
    const std::string& error() const { return m_error; }
    // Serves until SIGTERM or SIGINT (or stop()): then stops taking connections, closes every
    // open one but those whose request is already with the database (answered first), and returns.
    void run();
    // Safe from any thread.
    void stop();

    struct State; // what the connections share, in relay_http.cpp

private:
    std::shared_ptr<State> m_state;
    std::string m_error;
};

} // namespace relay
