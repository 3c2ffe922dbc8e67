#include "ced_dump.h"

#include "capture/capture_host.h"
#include "drivers/ced_driver.h"
#include "drivers/ced_state.h"
#include "services/app_services.h"
#include "services/clock.h"
#include "services/event_guard.h"
#include "services/prompt.h"

namespace {
// Inside a dump step a lost connection is only marked: the step ends the dump and tells it
// itself, once the exchange is over.
class DeferredLoss {
public:
    explicit DeferredLoss(CedState& ced) : m_ced(ced)
    {
        m_ced.deferLostNotice = true;
        m_ced.lostPending = false;
    }
    ~DeferredLoss() { m_ced.deferLostNotice = false; }
    DeferredLoss(const DeferredLoss&) = delete;
    DeferredLoss& operator=(const DeferredLoss&) = delete;

private:
    CedState& m_ced;
};
} // namespace

CedDumpExchange::CedDumpExchange(CaptureHost& host, QObject* parent) : QObject(parent), m_host(host) {}

QString CedDumpExchange::cutNotice(int string, int recorded, bool all)
{
    const QString s = QString::number(string);
    QString text = QStringLiteral("The connection to the CED was lost during the dump of string ") + s +
                   QStringLiteral(": ") + QString::number(recorded) +
                   (recorded == 1 ? QStringLiteral(" shot") : QStringLiteral(" shots")) +
                   QStringLiteral(" of it recorded. ");
    if (all)
        return text + QStringLiteral("The rest of it, and the strings after it, are still in the CED: once it is "
                                     "connected again, Dump All goes on from there.");
    return text + QStringLiteral("The rest are still in the CED: once it is connected again, dumping string ") + s +
           QStringLiteral(" records only those.");
}

bool CedDumpExchange::begin()
{
    ++m_generation;
    m_state = State::Ready;
    m_closeWanted = false;
    m_host.setCedPoll(false);
    CedState& ced = m_host.cedState();
    ced.cedCurrentString = 0;
    ced.cedShotCount = 0;
    ced.cedReadFailed = true;
    return m_host.hid().Connected();
}

int CedDumpExchange::strings()
{
    CedState& ced = m_host.cedState();
    ced.cedNewShot = false;
    {
        DeferredLoss deferred(ced);
        cedQueryStatus(m_host);
    }
    if (exchangeLost()) {
        // Told once the window is up, from a step of the exchange.
        m_state = State::Reporting;
        m_string = 0;
        m_recordedAny = false;
        schedule(&CedDumpExchange::reportLost);
    }
    return ced.cedCurrentString;
}

void CedDumpExchange::dumpString(int string)
{
    start(false, string);
}

void CedDumpExchange::dumpAll()
{
    start(true, 0);
}

void CedDumpExchange::start(bool all, int string)
{
    if (m_state != State::Ready)
        return;
    ++m_generation;
    m_state = State::Dumping;
    m_all = all;
    m_string = string;
    m_recordedAny = false;
    m_recordedOfString = 0;
    m_resume = Cut{};
    schedule(&CedDumpExchange::stepStatus);
}

void CedDumpExchange::schedule(void (CedDumpExchange::*step)())
{
    const quint64 generation = m_generation;
    m_host.services().steps->after(0, this, [this, generation, step] {
        if (generation != m_generation)
            return; // ended or begun again since
        try {
            (this->*step)();
        } catch (const std::exception& failure) {
            // A shot that cannot be recorded (a weight that is not a number) ends the dump, as it
            // always has.
            event_guard::report("CED String Dump", failure.what());
            if (m_state == State::Dumping)
                finishDump();
        }
    });
}

bool CedDumpExchange::exchangeLost()
{
    return m_host.cedState().lostPending;
}

// The first step: the strings to dump. With one string, only whether the device is there.
void CedDumpExchange::stepStatus()
{
    CedState& ced = m_host.cedState();
    if (!m_host.hid().Connected()) {
        finishDump(); // nothing was asked of the device
        return;
    }
    ced.cedNewShot = false;
    if (!m_all) {
        m_lastString = m_string;
        if (m_cut.valid && m_cut.string == m_string)
            m_resume = m_cut;
        stepShotCount();
        return;
    }
    {
        DeferredLoss deferred(ced);
        cedQueryStatus(m_host);
    }
    m_lastString = ced.cedCurrentString;
    m_string = 1;
    if (m_cut.valid && m_cut.all && m_cut.string <= m_lastString) {
        m_resume = m_cut;
        m_string = m_cut.string;
    }
    if (exchangeLost()) {
        m_string = 0; // no string was begun
        connectionLost();
        return;
    }
    if (m_string > m_lastString)
        finishDump();
    else
        schedule(&CedDumpExchange::stepShotCount);
}

void CedDumpExchange::stepShotCount()
{
    CedState& ced = m_host.cedState();
    m_recordedOfString = 0;
    if (!m_host.hid().Connected()) {
        connectionLost();
        return;
    }
    ced.cedShotCount = 0;
    {
        DeferredLoss deferred(ced);
        cedQueryShotCount(m_host, m_string);
    }
    if (exchangeLost()) {
        if (m_resume.valid && m_resume.string == m_string)
            m_recordedOfString = m_resume.recorded; // still in the table: the next dump skips them
        connectionLost();
        return;
    }
    m_shots = ced.cedShotCount;
    m_shot = 1;
    if (m_resume.valid && m_resume.string == m_string) {
        // A device holding fewer shots than were recorded holds other shots now: all are new.
        if (m_resume.recorded <= m_shots) {
            m_shot = m_resume.recorded + 1;
            m_recordedOfString = m_resume.recorded;
        }
        m_resume = Cut{};
    }
    if (m_shot > m_shots)
        nextString();
    else
        schedule(&CedDumpExchange::stepShot);
}

void CedDumpExchange::stepShot()
{
    CedState& ced = m_host.cedState();
    if (!m_host.hid().Connected()) {
        connectionLost();
        return;
    }
    double v = 0;
    {
        DeferredLoss deferred(ced);
        v = cedReadVelocity(m_host, m_string, m_shot);
    }
    const bool lost = exchangeLost();
    // A shot whose read was cut by the loss is still in the device: no 0 is recorded for it.
    if (lost && ced.cedReadFailed) {
        connectionLost();
        return;
    }
    if (lost)
        m_state = State::Reporting; // a window closed from here waits for the report
    m_host.recordDumpedShot(v);
    m_recordedAny = true;
    ++m_recordedOfString;
    const quint64 generation = m_generation;
    emit shotListed(m_string, m_shot, v);
    if (lost) {
        if (m_shot >= m_shots) {
            // That string is complete: the cut, if any, is before the next one.
            if (m_cut.valid && m_cut.string == m_string)
                m_cut = Cut{};
            m_recordedOfString = 0;
            m_string = m_all && m_string < m_lastString ? m_string + 1 : 0;
        }
        connectionLost();
        return;
    }
    if (generation != m_generation || m_state != State::Dumping)
        return; // the window closed meanwhile: nothing more is recorded
    if (++m_shot > m_shots)
        nextString();
    else
        schedule(&CedDumpExchange::stepShot);
}

void CedDumpExchange::nextString()
{
    if (m_cut.valid && m_cut.string == m_string)
        m_cut = Cut{}; // that string is complete now
    if (!m_all || ++m_string > m_lastString)
        finishDump();
    else
        schedule(&CedDumpExchange::stepShotCount);
}

void CedDumpExchange::connectionLost()
{
    m_state = State::Reporting;
    if (m_string > 0)
        m_cut = Cut{true, m_all, m_string, m_recordedOfString};
    reportLost();
}

void CedDumpExchange::reportLost()
{
    if (m_state != State::Reporting)
        return;
    // The message box runs the event loop: the window may close meanwhile (end() then only marks
    // the close), so only this object's own state is read after it.
    cedConnectionLost(m_host);
    if (m_recordedAny)
        m_host.dumpFinished(m_host.lastFps());
    if (m_string > 0)
        m_host.services().prompt->message(cutNotice(m_cut.string, m_cut.recorded, m_cut.all));
    m_recordedAny = false;
    m_string = 0;
    m_state = State::Ready;
    if (m_closeWanted) {
        m_state = State::Closing;
        ++m_generation;
        schedule(&CedDumpExchange::closingStep);
        return;
    }
    emit dumpEnded();
}

void CedDumpExchange::finishDump()
{
    m_host.dumpFinished(m_host.lastFps());
    m_recordedAny = false;
    m_state = State::Ready;
    emit dumpEnded();
}

void CedDumpExchange::end()
{
    m_closeWanted = true;
    if (!m_host.hidDisabled())
        m_host.cedState().cedSkipNext = true; // the dump may have recorded the device's last shot
    switch (m_state) {
    case State::Idle: // the window refused to open: nothing was begun
        m_host.setCaptureEnabled(true);
        return;
    case State::Closing:
    case State::Reporting: // the report ends the visit once its boxes are answered
        return;
    case State::Dumping:
        ++m_generation; // the next shot's step does nothing
        // The shots already recorded are counted in the totals.
        finishDump();
        break;
    case State::Ready:
        break;
    }
    m_state = State::Closing;
    ++m_generation;
    schedule(&CedDumpExchange::closingStep);
}

void CedDumpExchange::closingStep()
{
    if (m_state != State::Closing)
        return;
    if (m_host.hid().Connected()) {
        // Skipping "the next reading" could drop a new shot or miss the string's count after a
        // dump of another string; taking the device's present state as the baseline does neither.
        cedResynchronise(m_host);
        // The exchange may have found the connection lost and stopped the poll for good.
        if (m_host.hid().Connected())
            m_host.setCedPoll(true);
    }
    m_state = State::Idle;
    m_host.setCaptureEnabled(true);
}
