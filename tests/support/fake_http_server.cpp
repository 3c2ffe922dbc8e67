#include "fake_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

FakeHttpServer::FakeHttpServer()
{
    m_listen = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(m_listen, 8) != 0 ||
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

FakeHttpServer::~FakeHttpServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listen >= 0)
        close(m_listen);
}

void FakeHttpServer::answer(int status, const QByteArray& body)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_status = status;
    m_body = body;
    m_silent = false;
}

void FakeHttpServer::neverAnswer()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_silent = true;
}

QByteArray FakeHttpServer::lastRequestBody()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lastBody;
}

void FakeHttpServer::run()
{
    std::vector<int> silent; // connections held open without an answer
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        const int client = accept(m_listen, nullptr, nullptr);
        if (client < 0)
            continue;
        QByteArray request;
        char buffer[4096];
        // Read the headers and the body the Content-Length announces (bounded in time).
        for (int waited = 0; waited < 40 && !m_stop; ++waited) {
            pollfd c{client, POLLIN, 0};
            if (poll(&c, 1, 50) > 0) {
                const ssize_t n = recv(client, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, n);
            }
            const qsizetype end = request.indexOf("\r\n\r\n");
            if (end >= 0) {
                const qsizetype at = request.toLower().indexOf("content-length:");
                const qsizetype length = at >= 0 ? request.mid(at + 15, request.indexOf('\r', at) - at - 15).trimmed().toInt() : 0;
                if (request.size() >= end + 4 + length)
                    break;
            }
        }
        ++m_requests;
        std::lock_guard<std::mutex> guard(m_lock);
        m_lastBody = request.mid(request.indexOf("\r\n\r\n") + 4);
        if (m_silent) {
            silent.push_back(client);
            continue;
        }
        const QByteArray reply = "HTTP/1.1 " + QByteArray::number(m_status) + " Status\r\nContent-Type: text/xml\r\n" +
                                 "Content-Length: " + QByteArray::number(m_body.size()) +
                                 "\r\nConnection: close\r\n\r\n" + m_body;
        send(client, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
        close(client);
    }
    for (int client : silent)
        close(client);
}
