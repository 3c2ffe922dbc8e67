#include "raw_http.h"

#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int leftMs(Clock::time_point end)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// The answer after any interim "100 Continue".
std::string finalAnswer(const std::string& in)
{
    if (in.compare(0, 13, "HTTP/1.1 100 ") != 0)
        return in;
    const size_t end = in.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : finalAnswer(in.substr(end + 4));
}

bool whole(const std::string& all)
{
    const std::string in = finalAnswer(all);
    const size_t headerEnd = in.find("\r\n\r\n");
    if (headerEnd == std::string::npos)
        return false;
    std::string header = in.substr(0, headerEnd);
    for (char& c : header)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    const size_t at = header.find("\r\ncontent-length:");
    return at != std::string::npos && in.size() - headerEnd - 4 >= size_t(std::atol(header.c_str() + at + 17));
}

} // namespace

RawConnection::RawConnection(int port, const std::string& from)
{
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(uint16_t(port));
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_fd < 0 || inet_pton(AF_INET, from.c_str(), &local.sin_addr) != 1 ||
        bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        connect(m_fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }
}

RawConnection::~RawConnection()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool RawConnection::send(const std::string& bytes)
{
    size_t sent = 0;
    while (m_fd >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return m_fd >= 0;
}

std::string RawConnection::readAnswer(int timeoutMs)
{
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const size_t from = m_in.size();
    while (m_fd >= 0 && !whole(m_in.substr(from))) {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, leftMs(end)) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        m_in.append(buffer, size_t(n));
    }
    return m_in.substr(from);
}

bool RawConnection::closedWithin(int timeoutMs)
{
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_fd >= 0) {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, leftMs(end)) <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return true;
        m_in.append(buffer, size_t(n));
    }
    return true;
}

std::string relayPost(const std::string& body, const std::string& extraHeaders)
{
    return "POST /relay.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

int statusOf(const std::string& raw)
{
    const std::string answer = finalAnswer(raw);
    return answer.compare(0, 9, "HTTP/1.1 ") == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

std::string bodyOf(const std::string& answer)
{
    const size_t headerEnd = answer.rfind("\r\n\r\n");
    return headerEnd == std::string::npos ? std::string() : answer.substr(headerEnd + 4);
}
