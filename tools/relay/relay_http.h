#pragma once

#include <boost/asio/ip/address.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include "relay_body.h"

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
    // Threads answering updates (reads), apart from the network's; submissions (writes) have one
    // of their own, so that a writer waiting for the database never holds up a reader.
    size_t workerThreads = 2;
    // Requests waiting for a worker, in each lane; past it a request is answered "busy" at once.
    // A request waits at most its deadline: a longer queue would only hold work nobody waits for.
    size_t maxQueuedJobs = 64;
    // Bytes held in request bodies by every connection together; past it a request is answered
    // 503 at once (a body is at most 64 KiB: 512 of them).
    size_t maxBodyBytes = 32 * 1024 * 1024;
};

inline constexpr size_t kMaxHeaderBytes = 8 * 1024;

using HttpParser = boost::beast::http::request_parser<BudgetedBody>;

// The parser as the server reads every request: headers up to 8 KiB, a body up to 64 KiB (an
// announced length over it is refused before any of the body is read; chunk sizes, extensions
// and trailers are counted with the body by the server).
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

// Which workers answer a POST of "/relay.php": none (answered at once on the network's thread,
// e.g. a request refused without the database), the readers or the writer.
enum class Lane { Now, Read, Write };

struct RelayJob {
    const std::string& body;
    const std::string& key; // the client, see clientKey()
    // When the client stops waiting: work not done by then is dropped.
    std::chrono::steady_clock::time_point deadline;
    // Whether the client still waits (it has not closed its connection); safe from any thread.
    std::function<bool()> wanted;
};

struct RelayHandler {
    // On the network's threads, so it must cost little: the lane of a request.
    std::function<Lane(const std::string& body)> lane;
    // On a worker of that lane (or at once for Lane::Now): the XML answer, or "" when the work
    // was dropped because the client is gone or its deadline passed (the connection is closed).
    std::function<std::string(const RelayJob& job)> answer;
};

// The answer when a lane's queue is full.
inline constexpr const char* kServiceBusy = "the service is busy, try again later";

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
