#pragma once

#include <string>

// One TCP connection to a loopback port from a chosen loopback address (127.0.0.0/8 is all
// loopback, so each address is a different client to a server), sending raw bytes.
class RawConnection {
public:
    RawConnection(int port, const std::string& from = "127.0.0.1");
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    bool send(const std::string& bytes);
    // What arrives until the server closes, an answer is whole (by its Content-Length), or
    // `timeoutMs` passes.
    std::string readAnswer(int timeoutMs);
    // Whether the server closes (or resets) the connection within `timeoutMs`; what arrived
    // meanwhile is kept in received().
    bool closedWithin(int timeoutMs);
    const std::string& received() const { return m_in; }

private:
    int m_fd = -1;
    std::string m_in;
};

// A POST of "/relay.php" with `body` and the given extra header lines ("Name: value\r\n" each).
std::string relayPost(const std::string& body, const std::string& extraHeaders = {});
// The status code of a raw answer (past any "100 Continue"), 0 when there is none.
int statusOf(const std::string& answer);
// The body of a raw answer.
std::string bodyOf(const std::string& answer);
