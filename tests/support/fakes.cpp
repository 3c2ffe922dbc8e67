#include "fakes.h"

#include <QEventLoop>
#include <QTimer>
#include <utility>

Prompt::Answer ScriptedPrompt::ask(const QString& text, Buttons buttons, Icon icon, const QString& title)
{
    shown.append({text, title, icon, buttons});
    // Taken by this box: a box opened inside it has its own.
    const std::function<void()> during = std::exchange(onAsk, nullptr);
    const std::function<bool()> until = std::exchange(answerWhen, nullptr);
    QEventLoop box;
    QTimer::singleShot(0, &box, [&] {
        if (during)
            during();
        if (!until) {
            // Posted after whatever the handlers posted (deferred deletes among them), so those
            // are handled inside the box first.
            QMetaObject::invokeMethod(&box, &QEventLoop::quit, Qt::QueuedConnection);
            return;
        }
        auto* poll = new QTimer(&box);
        QObject::connect(poll, &QTimer::timeout, &box, [&] {
            if (until())
                box.quit();
        });
        poll->start(5);
    });
    box.exec();
    if (!m_answers.empty()) {
        const Answer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

QStringList ScriptedPrompt::texts() const
{
    QStringList result;
    for (const Shown& s : shown)
        result.append(s.text);
    return result;
}

SerialTransport::OpenResult MemoryTransport::open(const QString& devicePath, const LineSettings& settings)
{
    m_failure.clear();
    if (busy.contains(devicePath)) {
        m_failure = QStringLiteral("another program is using it");
        return OpenResult::Busy;
    }
    if (failing.contains(devicePath)) {
        m_failure = QStringLiteral("permission denied; add your user to the dialout group and log in again");
        return OpenResult::Failed;
    }
    if (!existing.contains(devicePath))
        return OpenResult::NoSuchDevice;
    m_open = true;
    openedPath = devicePath;
    openedSettings = settings;
    m_incoming.clear();
    return OpenResult::Ok;
}

QByteArray MemoryTransport::takeAvailable()
{
    QByteArray all;
    all.swap(m_incoming);
    return all;
}

void MemoryTransport::unplug()
{
    if (!m_open)
        return;
    m_open = false;
    existing.remove(openedPath);
    // Told from the event loop, as the real port tells it.
    QMetaObject::invokeMethod(this, &MemoryTransport::lost, Qt::QueuedConnection);
}

void MemoryTransport::feed(const QByteArray& bytes)
{
    if (!m_open)
        return;
    m_incoming += bytes;
    emit dataArrived();
}

void CountingSteps::after(int milliseconds, QObject* context, std::function<void()> step)
{
    waited.append(milliseconds);
    QTimer::singleShot(milliseconds * percent / 100, context, std::move(step));
}
