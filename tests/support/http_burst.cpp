#include "http_burst.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

enum class Stage { Connecting, Sending, Reading, Done };

struct Client {
    int fd = -1;
    Stage stage = Stage::Connecting;
    std::string out;
    size_t sent = 0;
    std::string in;
};

bool isReset(int error)
{
    return error == ECONNRESET || error == ECONNREFUSED || error == EPIPE;
}

// The status and whether the answer is whole (by its Content-Length, or by the end of the stream).
bool wholeAnswer(const std::string& in, bool ended, int& status, std::string& body)
{
    const size_t headerEnd = in.find("\r\n\r\n");
    if (headerEnd == std::string::npos || in.compare(0, 9, "HTTP/1.1 ") != 0)
        return false;
    status = std::atoi(in.c_str() + 9);
    long length = -1;
    for (size_t at = in.find("\r\n"); at < headerEnd; at = in.find("\r\n", at + 2)) {
        std::string line = in.substr(at + 2, in.find("\r\n", at + 2) - at - 2);
        for (char& c : line)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (line.rfind("content-length:", 0) == 0)
            length = std::atol(line.c_str() + 15);
    }
    body = in.substr(headerEnd + 4);
    return length >= 0 ? long(body.size()) >= length : ended;
}

} // namespace

BurstOutcome httpBurst(int port, const std::string& path, const std::vector<std::string>& bodies, bool hold,
                       int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    BurstOutcome outcome;
    outcome.bodies.resize(bodies.size());
    std::vector<Client> clients(bodies.size());
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const Clock::time_point start = Clock::now();
    for (size_t i = 0; i < clients.size(); ++i) {
        Client& c = clients[i];
        c.out = "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml\r\nContent-Length: " +
                std::to_string(bodies[i].size()) + "\r\n\r\n" + bodies[i];
        c.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (c.fd < 0 ||
            (connect(c.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS)) {
            ++(isReset(errno) ? outcome.reset : outcome.failed);
            c.stage = Stage::Done;
        }
    }
    auto finish = [&](Client& c, int& counter) {
        ++counter;
        c.stage = Stage::Done;
        if (!hold) {
            close(c.fd);
            c.fd = -1;
        }
    };
    size_t open = 0;
    do {
        std::vector<pollfd> polled;
        std::vector<size_t> owner;
        for (size_t i = 0; i < clients.size(); ++i) {
            const Client& c = clients[i];
            if (c.stage == Stage::Done)
                continue;
            polled.push_back({c.fd, short(c.stage == Stage::Reading ? POLLIN : POLLOUT), 0});
            owner.push_back(i);
        }
        open = polled.size();
        const auto left =
            timeoutMs - std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (open == 0 || left <= 0)
            break;
        if (poll(polled.data(), polled.size(), int(left)) < 0 && errno != EINTR)
            break;
        for (size_t k = 0; k < polled.size(); ++k) {
            if (polled[k].revents == 0)
                continue;
            const size_t i = owner[k];
            Client& c = clients[i];
            if (c.stage == Stage::Connecting) {
                int error = 0;
                socklen_t size = sizeof error;
                getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &size);
                if (error != 0) {
                    finish(c, isReset(error) ? outcome.reset : outcome.failed);
                    continue;
                }
                c.stage = Stage::Sending;
                ++outcome.connected;
            }
            if (c.stage == Stage::Sending) {
                const ssize_t n = send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
                if (n < 0 && errno != EAGAIN) {
                    finish(c, isReset(errno) ? outcome.reset : outcome.failed);
                    continue;
                }
                c.sent += size_t(std::max<ssize_t>(n, 0));
                if (c.sent == c.out.size())
                    c.stage = Stage::Reading;
                continue;
            }
            char buffer[4096];
            const ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EAGAIN)
                continue;
            if (n < 0) {
                finish(c, isReset(errno) ? outcome.reset : outcome.failed);
                continue;
            }
            c.in.append(buffer, size_t(n));
            int status = 0;
            std::string body;
            if (wholeAnswer(c.in, n == 0, status, body)) {
                if (status == 200) {
                    outcome.bodies[i] = body;
                    const std::chrono::duration<double, std::milli> took = Clock::now() - start;
                    outcome.slowestMs = std::max(outcome.slowestMs, took.count());
                }
                finish(c, status == 200 ? outcome.answered : outcome.otherStatus);
            } else if (n == 0) {
                finish(c, outcome.failed);
            }
        }
    } while (open > 0);
    for (Client& c : clients) {
        if (c.stage != Stage::Done)
            ++outcome.timedOut;
        if (c.fd >= 0)
            close(c.fd);
    }
    return outcome;
}
