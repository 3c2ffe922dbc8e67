#pragma once

#include <QByteArray>
#include <atomic>
#include <mutex>
#include <thread>

// An HTTP server on loopback in a thread of its own (the program's requests block the UI
// thread), answering every request with a fixed status and body, or never answering.
class FakeHttpServer {
public:
    FakeHttpServer();
    ~FakeHttpServer();
    int port() const { return m_port; }
    void answer(int status, const QByteArray& body);
    void neverAnswer();
    QByteArray lastRequestBody();
    int requests() const { return m_requests; }

private:
    void run();
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::mutex m_lock;
    int m_status = 200;
    QByteArray m_body;
    bool m_silent = false;
    QByteArray m_lastBody;
    std::thread m_thread;
};
