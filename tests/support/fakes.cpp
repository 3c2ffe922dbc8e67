#include "fakes.h"

#include "services/regional.h"

Prompt::Answer ScriptedPrompt::ask(const QString& text, Buttons buttons, Icon icon, const QString& title)
{
    shown.append({text, title, icon, buttons});
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

QString MemoryShotStore::insertCacheRow(const CacheRow& row)
{
    if (!failWith.isEmpty())
        return failWith;
    rows.append(row);
    return {};
}

std::vector<ShotStore::CachedShot> MemoryShotStore::cachedShots()
{
    std::vector<CachedShot> result;
    for (const CacheRow& r : rows)
        result.push_back({r.shot, r.timestamp, regional::toNumber(r.fps).value_or(0)});
    return result;
}

SerialTransport::OpenResult MemoryTransport::open(const QString& devicePath, const LineSettings& settings)
{
    if (busy.contains(devicePath))
        return OpenResult::Busy;
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

void MemoryTransport::feed(const QByteArray& bytes)
{
    if (!m_open)
        return;
    m_incoming += bytes;
    emit dataArrived();
}
