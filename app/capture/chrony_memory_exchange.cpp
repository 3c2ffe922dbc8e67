#include "chrony_memory_exchange.h"

#include "capture/capture_host.h"
#include "drivers/chrony_memory.h"
#include "drivers/comm_port.h"
#include "services/app_services.h"
#include "services/clock.h"
#include "services/prompt.h"

namespace {
// The waits of the exchange, in milliseconds.
constexpr int kAfterSysx = 1500;
constexpr int kAfterMove = 150;
constexpr int kBeforeEnd = 100;
// Longer than the pause between two lines of a download.
constexpr int kDownloadPauseMs = 2000;
} // namespace

ChronyMemoryExchange::ChronyMemoryExchange(CaptureHost& host, QObject* parent) : QObject(parent), m_host(host) {}

QString ChronyMemoryExchange::communicationErrorText()
{
    return QStringLiteral(
        "There has been an error communicating with the Chrony.  Please check your COM port settings and try again.");
}

QString ChronyMemoryExchange::cutDownloadText(int string, int recorded)
{
    return QStringLiteral("The download of string %1 was cut when the Chrony was disconnected: %2 shot%3 of it %4 "
                          "recorded, and the rest are still in the Chrony. Download string %1 again to get them; the "
                          "shots already recorded are not recorded twice.")
        .arg(string)
        .arg(recorded)
        .arg(recorded == 1 ? QString() : QStringLiteral("s"))
        .arg(recorded == 1 ? QStringLiteral("was") : QStringLiteral("were"));
}

void ChronyMemoryExchange::send(const QString& command)
{
    m_host.port().setOutput(command);
}

// A command that puts the device in command mode. When it cannot be sent, no reply is awaited:
// received characters take the live path again, and the user is told.
bool ChronyMemoryExchange::command(const QString& text)
{
    try {
        m_lastChronyCommand = text;
        send(text);
        return true;
    } catch (const std::exception&) {
        m_host.setReceiver(CaptureHost::Receiver::Live);
        m_state = State::Ready;
        failed();
        return false;
    }
}

// A command that could not be sent: the user is told from a step of its own, never from inside
// the window's handler or the port's receive event that asked for it.
void ChronyMemoryExchange::failed()
{
    const unsigned generation = m_generation;
    m_host.services().steps->after(0, this, [this, generation] {
        if (generation == m_generation)
            m_host.services().prompt->message(communicationErrorText());
    });
}

void ChronyMemoryExchange::setControls(bool dump, bool clear, bool list)
{
    m_dumpEnabled = dump;
    m_clearEnabled = clear;
    m_listEnabled = list;
    emit controlsChanged();
}

void ChronyMemoryExchange::begin()
{
    if (m_state != State::Idle)
        return;
    ++m_generation;
    m_endOwed = false;
    m_output.clear();
    m_lastString.clear();
    m_queriedString = 0;
    m_storedShown = 0;
    m_listCount = 0;
    m_listSelected = false;
    m_downloadString = 0;
    m_dumpCaption = QStringLiteral("Dump String");
    m_dumpEnabled = false;
    // Not while "SYSX" is answered: the device takes no command before its query.
    m_clearEnabled = false;
    m_listEnabled = true;
    emit outputChanged();
    emit controlsChanged();
    m_host.setReceiver(CaptureHost::Receiver::ChronyMemory);
    m_host.setWatchdog(false);
    m_state = State::Opening;
    if (!command(QStringLiteral("SYSX")))
        return;
    const unsigned generation = m_generation;
    m_host.services().steps->after(kAfterSysx, this, [this, generation] {
        if (generation != m_generation || m_state != State::Opening)
            return;
        // Whatever answered "SYSX" so far is dropped.
        m_host.clearPartialLine();
        m_state = State::Querying;
        const bool sent = command(QStringLiteral("X.QRY"));
        setControls(m_dumpEnabled, true, m_listEnabled);
        if (sent && !m_output.isEmpty())
            parse();
    });
}

void ChronyMemoryExchange::reply(const QString& text)
{
    if (m_state == State::Idle || m_state == State::Ending || m_state == State::EndingOnReturn)
        return; // the window has gone: nobody reads it, nothing is parsed
    m_output += text;
    emit outputChanged();
    // What answers "SYSX" during its wait is read once the query is sent, as after a blocking wait.
    if (m_state != State::Cleared && m_state != State::Opening)
        parse();
}

void ChronyMemoryExchange::parse()
{
    if (m_output.contains(chrony_memory::kOk)) {
        if (m_lastChronyCommand != QLatin1String("X.GEE")) {
            m_state = State::Ready;
            int stored = -1;
            for (const chrony_memory::ReplyLine& line : chrony_memory::parseReply(m_output)) {
                if (line.kind == chrony_memory::ReplyLine::Strings) {
                    stored = line.number;
                    m_storedShown = stored;
                    m_listCount += std::max(stored, 0);
                    emit stringsListed(stored);
                } else {
                    m_lastString = QString::number(line.number);
                    m_queriedString = line.number;
                    if (stored >= 0 && line.number < stored + 1 && line.number >= 1 && line.number <= m_listCount) {
                        m_listSelected = true;
                        emit stringSelected(line.number);
                        pick(line.number);
                    }
                }
            }
            m_host.setReceiver(CaptureHost::Receiver::Live);
            m_clearEnabled = true;
            emit controlsChanged();
        } else {
            // Shown from a step of its own: the receive event that brought the reply is over.
            m_state = State::Cleared;
            const unsigned generation = m_generation;
            m_host.services().steps->after(0, this, [this, generation] {
                if (generation != m_generation || m_state != State::Cleared)
                    return;
                m_host.services().prompt->message(QStringLiteral("All Shots now cleared."));
                // Closed, or the cable pulled, while the message was open: the conversation is over.
                if (generation != m_generation || m_state != State::Cleared)
                    return;
                m_output.clear();
                emit outputChanged();
                m_state = State::Querying;
                command(QStringLiteral("X.QRY"));
            });
        }
    }
    if (m_storedShown == 0 && m_queriedString == 1) {
        m_storedShown = 1;
        ++m_listCount;
        emit oneStringAssumed();
    }
}

void ChronyMemoryExchange::pick(int string)
{
    if (m_state != State::Ready)
        return;
    m_listSelected = true;
    m_dumpCaption = QStringLiteral("Dump String ") + QString::number(string);
    setControls(false, m_clearEnabled, m_listEnabled);
    if (m_lastString.toInt() == 0) {
        setControls(true, m_clearEnabled, m_listEnabled);
        return;
    }
    m_target = string;
    m_state = State::Moving;
    // The list waits for the moves: a second pick meanwhile would interleave its moves with these.
    m_listBeforeMoves = m_listEnabled;
    setControls(false, m_clearEnabled, false);
    moveStep(m_generation);
}

void ChronyMemoryExchange::moveStep(unsigned generation)
{
    if (generation != m_generation || m_state != State::Moving)
        return;
    const int cur = m_lastString.toInt();
    if (cur == 0 || cur == m_target) {
        sendCopy();
        return;
    }
    try {
        send(m_target < cur ? QStringLiteral("X.DEC") : QStringLiteral("X.INC"));
    } catch (const std::exception&) {
        m_state = State::Ready;
        setControls(true, m_clearEnabled, m_listBeforeMoves);
        failed();
        return;
    }
    // Where the device's pointer is after each move, so that a failure half way leaves the
    // closing steps a true starting point.
    m_lastString = QString::number(m_target < cur ? cur - 1 : cur + 1);
    m_host.services().steps->after(kAfterMove, this, [this, generation] { moveStep(generation); });
}

void ChronyMemoryExchange::sendCopy()
{
    m_state = State::Ready;
    try {
        m_lastChronyCommand = QStringLiteral("X.CPY");
        send(QStringLiteral("X.CPY"));
        downloadStarted();
    } catch (const std::exception&) {
        failed();
    }
    setControls(true, m_clearEnabled, m_listBeforeMoves);
}

void ChronyMemoryExchange::dump()
{
    if (m_state != State::Ready)
        return;
    setControls(false, m_clearEnabled, m_listEnabled);
    try {
        m_host.clearPartialLine();
        m_lastChronyCommand = QStringLiteral("X.GRM");
        send(QStringLiteral("X.GRM"));
        downloadStarted();
    } catch (const std::exception&) {
        failed();
    }
    setControls(true, m_clearEnabled, m_listEnabled);
}

void ChronyMemoryExchange::downloadStarted()
{
    m_downloadString = m_lastString.toInt();
    m_shotsAtDownload = m_host.shotCount();
    m_skippedThisDownload = 0;
    m_sinceDownloadLine.invalidate();
    // The same string again after a cut: its first shots are recorded already.
    m_skipRemaining = m_downloadString != 0 && m_downloadString == m_cutString ? m_cutRecorded : 0;
}

bool ChronyMemoryExchange::skipDownloadedShot()
{
    if (m_downloadString != 0)
        m_sinceDownloadLine.start();
    if (m_skipRemaining <= 0 || m_state != State::Ready)
        return false;
    ++m_skippedThisDownload;
    if (--m_skipRemaining == 0)
        m_cutString = m_cutRecorded = 0;
    return true;
}

void ChronyMemoryExchange::clear()
{
    // Also before the query is answered: its "}ok!" then ends the clear, as it would have done
    // when the clear was sent right after the query.
    if (m_state != State::Ready && m_state != State::Querying)
        return;
    setControls(false, false, false);
    m_downloadString = 0;
    m_output.clear();
    emit outputChanged();
    m_host.setReceiver(CaptureHost::Receiver::ChronyMemory);
    m_state = State::Clearing;
    // Not sent, nothing was cleared: the window is as it was before the question.
    if (!command(QStringLiteral("X.GEE")))
        setControls(m_listSelected, true, true);
}

void ChronyMemoryExchange::end()
{
    if (m_state == State::Idle || m_state == State::Ending || m_state == State::EndingOnReturn)
        return;
    ++m_generation;
    m_dumpEnabled = false;
    m_skipRemaining = 0;
    if (m_host.port().isLost()) {
        awaitReturn();
        return;
    }
    m_state = State::Ending;
    m_target = m_queriedString;
    closeStep(m_generation);
}

void ChronyMemoryExchange::closeStep(unsigned generation)
{
    if (generation != m_generation || m_state != State::Ending)
        return;
    const int cur = m_lastString.toInt();
    if (cur != 0 && cur != m_target) {
        try {
            send(m_target < cur ? QStringLiteral("X.DEC") : QStringLiteral("X.INC"));
            m_lastString = QString::number(m_target < cur ? cur - 1 : cur + 1);
            m_host.services().steps->after(kAfterMove, this, [this, generation] { closeStep(generation); });
            return;
        } catch (const std::exception&) {
            // The pointer stays where it is; remote mode is still ended below if the port allows.
        }
    }
    if (m_host.port().isLost()) {
        awaitReturn();
        return;
    }
    if (!m_host.port().PortOpen()) {
        resume(false);
        return;
    }
    m_host.services().steps->after(kBeforeEnd, this, [this, generation] {
        if (generation != m_generation || m_state != State::Ending)
            return;
        try {
            m_lastChronyCommand = QStringLiteral("X.END");
            send(QStringLiteral("X.END"));
        } catch (const std::exception&) {
            if (m_host.port().isLost())
                awaitReturn();
            else
                resume(false);
            return;
        }
        resume(true);
    });
}

// Ended while the device is away. Until it is back and has been sent "X.END", what it sends is
// not taken for shots: it may still be in remote mode.
void ChronyMemoryExchange::awaitReturn()
{
    m_endOwed = false;
    m_state = State::EndingOnReturn;
    m_host.setReceiver(CaptureHost::Receiver::ChronyMemory);
    m_host.clearPartialLine();
    m_host.setCaptureEnabled(true);
}

QString ChronyMemoryExchange::deviceLost()
{
    if (m_state == State::Idle) {
        // "X.END" failed on a device that was going: the port tells of the loss only now.
        if (m_endOwed)
            awaitReturn();
        return {};
    }
    ++m_generation;
    m_skipRemaining = 0;
    QString note;
    // What of the string has reached the table: the shots skipped as already recorded, then the new.
    const int delivered = m_skippedThisDownload + (m_host.shotCount() - m_shotsAtDownload);
    // The Chrony sends a string's lines one after the other: a download whose last line came a
    // while ago had ended, and a clear since leaves nothing to download.
    const bool underWay = m_sinceDownloadLine.isValid() && m_sinceDownloadLine.elapsed() < kDownloadPauseMs;
    if (m_downloadString != 0 && delivered > 0 && underWay && m_state == State::Ready) {
        if (m_cutString != m_downloadString || m_cutRecorded < delivered) {
            m_cutString = m_downloadString;
            m_cutRecorded = delivered;
        }
        note = cutDownloadText(m_cutString, m_cutRecorded);
    }
    m_downloadString = 0;
    if (m_state == State::Ending)
        awaitReturn();
    else if (m_state == State::Moving || m_state == State::Cleared || m_state == State::Opening ||
             m_state == State::Querying || m_state == State::Clearing)
        m_state = State::Ready; // stopped where it was; the window is closed next
    return note;
}

bool ChronyMemoryExchange::deviceBack()
{
    if (m_state != State::EndingOnReturn)
        return true;
    const unsigned generation = ++m_generation;
    // Nothing else may start a conversation before this one has ended on the device too.
    m_host.setCaptureEnabled(false);
    m_host.services().steps->after(kBeforeEnd, this, [this, generation] {
        if (generation != m_generation || m_state != State::EndingOnReturn)
            return;
        try {
            m_lastChronyCommand = QStringLiteral("X.END");
            send(QStringLiteral("X.END"));
        } catch (const std::exception&) {
            // Gone again: "X.END" goes out at its next return.
            if (m_host.port().isLost()) {
                m_host.setCaptureEnabled(true);
                return;
            }
            resume(false);
            emit resumedAfterReturn();
            return;
        }
        resume(true);
        emit resumedAfterReturn();
    });
    return false;
}

void ChronyMemoryExchange::resume(bool endSent)
{
    m_state = State::Idle;
    // A port that failed without telling of a loss yet may tell it next: "X.END" is then owed.
    m_endOwed = !endSent;
    m_host.setReceiver(CaptureHost::Receiver::Live);
    // A reply cut short is not joined to the next live line.
    m_host.clearPartialLine();
    m_host.setCaptureEnabled(true);
    m_host.setWatchdog(true);
}
