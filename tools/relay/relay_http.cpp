#include "relay_http.h"

#include "relay_lane.h"
#include "relay_protocol.h"

#include <array>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <cerrno>
#include <csignal>
#include <malloc.h>
#include <map>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace relay {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

const char* kTipsPage = "<!DOCTYPE html><html><head><title>Velmora tips</title></head><body><h1>Submit a tip</h1>"
                        "<p>Send your tip of the day for Velmora to the people who run this service.</p></body></html>";
const char* kGraphPage = "<!DOCTYPE html><html><head><title>Velmora - Graph Me</title></head><body><h1>Graph Me</h1>"
                         "<p>Upload a Velmora CSV here to get a graph of your string.</p></body></html>";

// Sent without waiting to a connection over its client's cap; a fresh socket's buffer takes it.
constexpr std::string_view kBusyAnswer = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: "
                                         "close\r\nRetry-After: 10\r\n\r\n";
constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

// After a refusal the rest of the request is read and dropped for a while, so that closing with
// unread bytes does not reset the connection before the client has read the answer.
constexpr std::chrono::seconds kDrainDeadline{2};
constexpr size_t kMaxDrainBytes = 16 * 1024 * 1024;

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

void limitParser(HttpParser& parser)
{
    parser.header_limit(kMaxHeaderBytes);
    parser.body_limit(kMaxRequestBytes);
}

HeaderVerdict checkHeader(const http::request_header<>& header)
{
    const size_t lengths = header.count(http::field::content_length);
    const size_t encodings = header.count(http::field::transfer_encoding);
    // The parser takes "5, 5" or two equal lengths as one; a proxy in front may not.
    if (lengths > 1 || encodings > 1 || (lengths == 1 && encodings == 1))
        return HeaderVerdict::Malformed;
    if (lengths == 1 && header[http::field::content_length].find(',') != beast::string_view::npos)
        return HeaderVerdict::Malformed;
    if (encodings == 1 && !beast::iequals(trimmed(header[http::field::transfer_encoding]), "chunked"))
        return HeaderVerdict::Malformed;
    if (header.count(http::field::content_encoding) > 0)
        return HeaderVerdict::Compressed;
    return HeaderVerdict::Accepted;
}

std::string clientKey(const asio::ip::address& address)
{
    if (address.is_v4())
        return address.to_string();
    const asio::ip::address_v6 v6 = address.to_v6();
    if (v6.is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, v6).to_string();
    asio::ip::address_v6::bytes_type bytes = v6.to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return asio::ip::address_v6(bytes).to_string() + "/64";
}

class Connection;

struct HttpServer::State {
    State(RelayHandler handler, HttpLimits l)
        : relay(std::move(handler)), limits(l), budget(l.maxBodyBytes), strand(asio::make_strand(io)),
          acceptor(strand), signals(strand), acceptRetry(strand), readers(l.workerThreads, l.maxQueuedJobs),
          writer(1, l.maxQueuedJobs)
    {
    }
    void accept();
    void stopNow();
    // A connection has gone: once most of a crowd has, the memory it used goes back to the system.
    void closed(const std::string& key, bool slotHeld, Connection* connection);

    RelayHandler relay;
    HttpLimits limits;
    BodyBudget budget;
    // Declared before the I/O context: connections still queued in it leave these when it goes.
    std::mutex lock;
    std::map<std::string, int> perClient;
    std::map<Connection*, std::weak_ptr<Connection>> open;
    size_t peakSinceTrim = 0;
    std::atomic<bool> stopping{false};
    asio::io_context io;
    // The acceptor, its retry timer, the signals and the stop run on this strand alone.
    asio::strand<asio::io_context::executor_type> strand;
    tcp::acceptor acceptor;
    asio::signal_set signals;
    asio::steady_timer acceptRetry;
    // Declared after the connection registry: queued jobs hold connections.
    WorkLane readers;
    WorkLane writer;
};

// One client connection: requests read under a deadline, answered, and kept alive while idle for
// a shorter one. Everything runs on the connection's strand.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(HttpServer::State& server, tcp::socket socket, std::string key)
        : m_server(server), m_socket(std::move(socket)), m_timer(m_socket.get_executor()), m_key(std::move(key)),
          m_buffer(kReadBufferBytes)
    {
    }
    ~Connection() { m_server.closed(m_key, !m_slotReleased, this); }

    asio::any_io_executor socket_executor() { return m_socket.get_executor(); }

    void start() { beginRequest(); }

    // On the service's stop: a connection whose request is with the database gets its answer
    // first (and is closed after it); any other is closed now.
    void stop()
    {
        if (!m_working)
            close();
    }

    void close()
    {
        if (m_closed)
            return;
        m_closed = true;
        m_gone = true;
        m_timer.cancel();
        beast::error_code ignored;
        m_socket.shutdown(tcp::socket::shutdown_both, ignored);
        m_socket.close(ignored);
        // The client's slot is free as soon as it is closed, not when queued work lets go of it.
        if (!m_slotReleased) {
            m_slotReleased = true;
            m_server.closed(m_key, true, nullptr);
        }
    }

private:
    // The read buffer holds a header (8 KiB) and a little more; a body passes through it to the
    // budgeted body, so a connection never holds a body-sized buffer of its own.
    static constexpr size_t kReadBufferBytes = kMaxHeaderBytes + 2048;
    // Time to write an answer after the request's deadline.
    static constexpr std::chrono::seconds kAnswerGrace{2};

    // The connection closes when the deadline passes, whatever it is waiting for.
    void arm(std::chrono::steady_clock::duration after)
    {
        if (m_closed)
            return;
        m_timer.expires_after(after);
        m_timer.async_wait([self = shared_from_this()](beast::error_code ec) {
            if (!ec && self->m_timer.expiry() <= std::chrono::steady_clock::now())
                self->close();
        });
    }

    void beginRequest()
    {
        m_requestEnds = std::chrono::steady_clock::now() + m_server.limits.requestDeadline;
        arm(m_server.limits.requestDeadline);
        readHeader();
    }

    void readHeader()
    {
        m_parser.emplace();
        limitParser(*m_parser);
        m_parser->get().body().chargeTo(&m_server.budget);
        m_bodyWire = 0;
        http::async_read_header(m_socket, m_buffer, *m_parser,
                                [self = shared_from_this()](beast::error_code ec, size_t) { self->onHeader(ec); });
    }

    void onHeader(beast::error_code ec)
    {
        if (m_closed)
            return;
        if (ec == http::error::body_limit)
            return refuse(200, statusAnswer("BAD"));
        if (ec)
            return failed(ec);
        const auto& header = m_parser->get();
        const bool relay = path() == "/relay.php";
        switch (checkHeader(header)) {
        case HeaderVerdict::Malformed:
            return refuse(400, "");
        case HeaderVerdict::Compressed:
            return relay ? refuse(200, statusAnswer("BAD")) : refuse(415, "");
        case HeaderVerdict::Accepted:
            break;
        }
        if (m_parser->is_done())
            return dispatch();
        if (beast::iequals(header[http::field::expect], "100-continue")) {
            asio::async_write(m_socket, asio::buffer(kContinue.data(), kContinue.size()),
                              [self = shared_from_this()](beast::error_code e, size_t) {
                                  if (e)
                                      return self->close();
                                  self->readBody();
                              });
            return;
        }
        readBody();
    }

    // Piece by piece, so that everything after the header counts against the body's limit:
    // chunk sizes, extensions and trailers as much as the body itself.
    void readBody()
    {
        http::async_read_some(m_socket, m_buffer, *m_parser,
                              [self = shared_from_this()](beast::error_code ec, size_t consumed) {
                                  if (self->m_closed)
                                      return;
                                  self->m_bodyWire += consumed;
                                  if (ec == asio::error::no_buffer_space)
                                      return self->refuse(503, "");
                                  if (ec == http::error::body_limit || self->m_bodyWire > kMaxRequestBytes)
                                      return self->refuse(200, statusAnswer("BAD"));
                                  if (ec)
                                      return self->failed(ec);
                                  if (self->m_parser->is_done())
                                      return self->dispatch();
                                  self->readBody();
                              });
    }

    // A read that ended without a whole request: a broken one is told so, a closed one let go.
    void failed(beast::error_code ec)
    {
        const bool broken = ec.category() == http::make_error_code(http::error::bad_target).category();
        if (!broken || ec == http::error::end_of_stream)
            return close();
        refuse(400, "");
    }

    std::string path() const
    {
        const beast::string_view target = m_parser->get().target();
        return std::string(target.substr(0, target.find('?')));
    }

    void dispatch()
    {
        const auto& request = m_parser->get();
        const std::string target = path();
        if (target == "/relay.php") {
            if (request.method() != http::verb::post)
                return answer(405, "", "text/plain", "POST");
            return work();
        }
        const char* page = target == "/tips.php" ? kTipsPage : target == "/graphme.php" ? kGraphPage : nullptr;
        if (!page)
            return answer(404, "", "text/plain");
        if (request.method() != http::verb::get)
            return answer(405, "", "text/plain", "GET");
        answer(200, page, "text/html");
    }

    // The request goes to its lane's workers with the time its client waits; work that finds
    // the client gone, its time passed or the service stopping is dropped unstarted.
    void work()
    {
        auto body = std::make_shared<BudgetedText>(std::move(m_parser->get().body()));
        const Lane lane = m_server.relay.lane(body->text);
        const auto deadline = m_requestEnds;
        if (lane == Lane::Now)
            return answer(200, m_server.relay.answer({body->text, m_key, deadline, [] { return true; }}), "text/xml");
        // From here the deadline bounds the answer: the work, and the client reading it.
        m_timer.expires_at(deadline + kAnswerGrace);
        m_timer.async_wait([self = shared_from_this()](beast::error_code ec) {
            if (!ec && self->m_timer.expiry() <= std::chrono::steady_clock::now())
                self->close();
        });
        m_working = true;
        WorkLane& workers = lane == Lane::Read ? m_server.readers : m_server.writer;
        const bool queued = workers.push([self = shared_from_this(), body, deadline]() mutable {
            const auto wanted = [self] { return !self->m_gone.load(); };
            const bool live =
                !self->m_server.stopping && wanted() && std::chrono::steady_clock::now() < deadline;
            std::string xml = live ? self->m_server.relay.answer({body->text, self->m_key, deadline, wanted})
                                   : std::string();
            body.reset();
            asio::post(self->m_socket.get_executor(), [self, xml = std::move(xml)]() mutable {
                self->m_working = false;
                if (xml.empty())
                    return self->close();
                self->answer(200, std::move(xml), "text/xml");
            });
        });
        if (!queued) {
            m_working = false;
            return answer(200, statusAnswer("BAD", kServiceBusy), "text/xml");
        }
        watchForHangUp();
    }

    // While its request waits for a worker, a client that closes its connection is noticed, so
    // that its work is dropped and its slot freed at once. (A client that only shuts down its sending side counts as gone:
    // Velmora never does, and an HTTP client that does cannot tell a kept-alive answer's end.)
    void watchForHangUp()
    {
        m_socket.async_wait(tcp::socket::wait_read, [self = shared_from_this()](beast::error_code ec) {
            if (ec || !self->m_working || self->m_closed)
                return;
            char byte = 0;
            const ssize_t n = ::recv(self->m_socket.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                self->close();
            else if (n < 0)
                self->watchForHangUp();
            // Bytes of a next request: nothing more to learn before this one is answered.
        });
    }

    void answer(unsigned status, std::string body, const char* type, const char* allow = nullptr)
    {
        if (m_closed)
            return;
        const bool keepAlive = m_parser->get().keep_alive() && !m_server.stopping;
        respond(status, std::move(body), type, allow, keepAlive);
    }

    // Answers and closes without reading the rest of the request.
    void refuse(unsigned status, std::string body)
    {
        m_refused = true;
        respond(status, std::move(body), status == 200 ? "text/xml" : "text/plain", nullptr, false);
    }

    void respond(unsigned status, std::string body, const char* type, const char* allow, bool keepAlive)
    {
        m_response = {};
        m_response.result(status);
        m_response.version(11);
        m_response.set(http::field::content_type, type);
        if (allow)
            m_response.set(http::field::allow, allow);
        if (status == 503)
            m_response.set(http::field::retry_after, "10");
        m_response.body() = std::move(body);
        m_response.keep_alive(keepAlive);
        m_response.prepare_payload();
        http::async_write(m_socket, m_response,
                          [self = shared_from_this(), keepAlive](beast::error_code ec, size_t) {
                              if (ec || self->m_closed)
                                  return self->close();
                              if (self->m_refused)
                                  return self->drain();
                              if (!keepAlive)
                                  return self->close();
                              self->awaitNext();
                          });
    }

    // A kept-alive connection waits for its next request without holding a read buffer.
    void awaitNext()
    {
        m_parser.reset();
        if (m_buffer.size() > 0)
            return beginRequest();
        m_buffer.shrink_to_fit();
        arm(m_server.limits.idleDeadline);
        m_socket.async_wait(tcp::socket::wait_read, [self = shared_from_this()](beast::error_code ec) {
            if (ec || self->m_closed)
                return self->close();
            self->beginRequest();
        });
    }

    void drain()
    {
        beast::error_code ignored;
        m_socket.shutdown(tcp::socket::shutdown_send, ignored);
        m_parser.reset();
        m_buffer.clear();
        m_buffer.shrink_to_fit();
        m_drain = std::make_unique<std::array<char, 4096>>();
        arm(kDrainDeadline);
        drainSome();
    }

    void drainSome()
    {
        m_socket.async_read_some(asio::buffer(*m_drain), [self = shared_from_this()](beast::error_code ec, size_t n) {
            self->m_drained += n;
            if (ec || self->m_closed || self->m_drained > kMaxDrainBytes)
                return self->close();
            self->drainSome();
        });
    }

    HttpServer::State& m_server;
    tcp::socket m_socket;
    asio::steady_timer m_timer;
    std::string m_key;
    beast::flat_buffer m_buffer;
    std::optional<HttpParser> m_parser;
    http::response<http::string_body> m_response;
    std::unique_ptr<std::array<char, 4096>> m_drain;
    std::chrono::steady_clock::time_point m_requestEnds;
    size_t m_bodyWire = 0; // bytes after the header, as they came on the wire
    size_t m_drained = 0;
    std::atomic<bool> m_gone{false}; // the client closed, or the connection did
    bool m_refused = false;
    bool m_working = false; // its request is with the database
    bool m_closed = false;
    bool m_slotReleased = false;
};

void HttpServer::State::closed(const std::string& key, bool slotHeld, Connection* connection)
{
    bool trim = false;
    {
        const std::lock_guard<std::mutex> guard(lock);
        if (slotHeld) {
            const auto it = perClient.find(key);
            if (it != perClient.end() && --it->second <= 0)
                perClient.erase(it);
        }
        if (connection) {
            open.erase(connection);
            if (peakSinceTrim >= 64 && open.size() * 4 < peakSinceTrim) {
                peakSinceTrim = open.size();
                trim = true;
            }
        }
    }
    // Freed pieces scattered through the heap stay with the process otherwise.
    if (trim)
        malloc_trim(0);
}

void HttpServer::State::accept()
{
    acceptor.async_accept(asio::make_strand(io), [this](beast::error_code ec, tcp::socket socket) {
        if (stopping || !acceptor.is_open())
            return;
        if (ec) {
            // Out of file descriptors, most likely: try again shortly instead of spinning.
            acceptRetry.expires_after(std::chrono::milliseconds(100));
            acceptRetry.async_wait([this](beast::error_code e) {
                if (!e && !stopping)
                    accept();
            });
            return;
        }
        beast::error_code peerError;
        const tcp::endpoint peer = socket.remote_endpoint(peerError);
        if (!peerError) {
            const std::string key = clientKey(peer.address());
            std::shared_ptr<Connection> connection;
            {
                const std::lock_guard<std::mutex> guard(lock);
                int& count = perClient[key];
                // One taken while the service stops is refused as one over the cap.
                if (!stopping && (limits.connectionsPerClient <= 0 || count < limits.connectionsPerClient)) {
                    ++count;
                    connection = std::make_shared<Connection>(*this, std::move(socket), key);
                    open[connection.get()] = connection;
                    peakSinceTrim = std::max(peakSinceTrim, open.size());
                }
                if (count == 0)
                    perClient.erase(key);
            }
            if (connection) {
                asio::post(connection->socket_executor(), [connection] { connection->start(); });
            } else {
                beast::error_code ignored;
                socket.non_blocking(true, ignored);
                socket.write_some(asio::buffer(kBusyAnswer.data(), kBusyAnswer.size()), ignored);
                socket.shutdown(tcp::socket::shutdown_both, ignored);
                socket.close(ignored);
            }
        }
        accept();
    });
}

// On the strand, as the acceptor's handlers are: closing it never races with re-arming it.
void HttpServer::State::stopNow()
{
    if (stopping.exchange(true))
        return;
    beast::error_code ignored;
    acceptor.close(ignored);
    signals.cancel(ignored);
    acceptRetry.cancel();
    std::vector<std::shared_ptr<Connection>> closing;
    {
        const std::lock_guard<std::mutex> guard(lock);
        for (const auto& [raw, weak] : open)
            if (auto connection = weak.lock())
                closing.push_back(std::move(connection));
    }
    for (const auto& connection : closing)
        asio::post(connection->socket_executor(), [connection] { connection->stop(); });
}

HttpServer::HttpServer(RelayHandler relay, HttpLimits limits)
    : m_state(std::make_shared<State>(std::move(relay), limits))
{
}

HttpServer::~HttpServer() = default;

std::optional<int> HttpServer::listen(const std::string& address, int port)
{
    beast::error_code ec;
    const asio::ip::address ip = asio::ip::make_address(address, ec);
    if (ec) {
        m_error = "not an IP address: " + address;
        return std::nullopt;
    }
    tcp::acceptor& acceptor = m_state->acceptor;
    const tcp::endpoint endpoint(ip, static_cast<unsigned short>(port));
    if (acceptor.open(endpoint.protocol(), ec) || acceptor.set_option(tcp::acceptor::reuse_address(true), ec) ||
        acceptor.bind(endpoint, ec) || acceptor.listen(asio::socket_base::max_listen_connections, ec)) {
        m_error = ec.message();
        beast::error_code ignored;
        acceptor.close(ignored);
        return std::nullopt;
    }
    // Taken over from here, before anyone is told the port: a SIGTERM as soon as the service
    // listens is a stop like any other, never the default death.
    m_state->signals.add(SIGTERM, ec);
    m_state->signals.add(SIGINT, ec);
    return acceptor.local_endpoint().port();
}

void HttpServer::run()
{
    State& state = *m_state;
    state.signals.async_wait([&state](beast::error_code ec, int) {
        if (!ec)
            state.stopNow();
    });
    asio::post(state.strand, [&state] { state.accept(); });
    std::vector<std::thread> threads;
    for (size_t i = 1; i < std::max<size_t>(1, state.limits.ioThreads); ++i)
        threads.emplace_back([&state] { state.io.run(); });
    state.io.run();
    for (std::thread& t : threads)
        t.join();
    // Database work already started finishes; work not yet started sees `stopping` and returns.
    state.readers.finish();
    state.writer.finish();
}

void HttpServer::stop()
{
    asio::post(m_state->strand, [state = m_state] { state->stopNow(); });
}

} // namespace relay
