#include "http_client.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <memory>

namespace {

// One exchange, run in a worker thread with its own event loop.
HttpClient::Reply exchange(const QUrl& url, const QByteArray& body, int timeoutMs)
{
    HttpClient::Reply result;
    // Names under the reserved .invalid domain never resolve: no need to wait for a resolver.
    if (url.host().endsWith(QLatin1String(".invalid")) || url.host() == QLatin1String("invalid")) {
        result.error = QStringLiteral("Host %1 not found").arg(url.host());
        return result;
    }
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/xml"));
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = network.post(request, body);
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec();
    if (!reply->isFinished()) {
        reply->abort();
        result.error = QStringLiteral("No answer within %1 ms").arg(timeoutMs);
    } else {
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        result.completed = status.isValid();
        result.status = status.toInt();
        result.body = reply->readAll();
        if (!result.completed)
            result.error = reply->errorString();
    }
    delete reply;
    return result;
}

} // namespace

HttpClient::Reply HttpClient::post(const QUrl& url, const QByteArray& body, int timeoutMs)
{
    Reply result;
    std::unique_ptr<QThread> worker(QThread::create([&] { result = exchange(url, body, timeoutMs); }));
    worker->start();
    worker->wait();
    return result;
}

void HttpClient::postAsync(const QUrl& url, const QByteArray& body, int timeoutMs, QObject* receiver,
                           std::function<void(const Reply&)> done)
{
    auto result = std::make_shared<Reply>();
    QThread* worker = QThread::create([result, url, body, timeoutMs] { *result = exchange(url, body, timeoutMs); });
    QPointer<QObject> target(receiver);
    QObject::connect(worker, &QThread::finished, worker, [worker, result, target, done] {
        if (target)
            done(*result);
        worker->deleteLater();
    });
    worker->start();
}
