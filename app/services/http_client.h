#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

// XML over HTTP POST with a bounded time-out. The exchange runs in a thread of its own:
// post() blocks the caller until the answer or the time-out, handling no events meanwhile;
// postAsync() returns at once and hands the answer to a function on the receiver's thread.
class HttpClient {
public:
    struct Reply {
        bool completed = false; // an HTTP answer arrived
        int status = 0;         // its status code
        QByteArray body;
        QString error;          // why nothing arrived
    };

    virtual ~HttpClient() = default;
    virtual Reply post(const QUrl& url, const QByteArray& body, int timeoutMs);
    virtual void postAsync(const QUrl& url, const QByteArray& body, int timeoutMs, QObject* receiver,
                           std::function<void(const Reply&)> done);
};
