#include "prochrono_remote.h"

#include "capture/capture_host.h"
#include "drivers/comm_port.h"
#include "drivers/prochrono_link.h"
#include "drivers/prochrono_protocol.h"
#include "drivers/prochrono_state.h"
#include "services/app_error.h"
#include "services/app_services.h"
#include "services/clock.h"
#include "services/prompt.h"

#include <QTimer>
#include <algorithm>

namespace {
const QString kCommunicationError = QStringLiteral(
    "There has been an error communicating with the ProChrono.  Please check your COM port settings and try again.");

// What is expected next: a block reply, a status reply, or nothing (Change String sent).
constexpr int kBlockReply = 1;
constexpr int kStatusReply = 3;
constexpr int kNoReply = 5;

constexpr int kShotsPerBlock = 5;
} // namespace

ProChronoRemoteExchange::ProChronoRemoteExchange(CaptureHost& host, QObject* parent) : QObject(parent), m_host(host) {}

int ProChronoRemoteExchange::currentString() const
{
    return m_host.proChronoState().currentString;
}

QString ProChronoRemoteExchange::cutDumpText(int string, int recorded, int total, bool disconnected)
{
    return QStringLiteral("The dump of string %1 was cut off (%2): %3 of its %4 shots were recorded, the other %5 "
                          "are still in the ProChrono's memory. Dump String on string %1 records only those.")
        .arg(string)
        .arg(disconnected ? QStringLiteral("the ProChrono was disconnected") : QStringLiteral("the window was closed"))
        .arg(recorded)
        .arg(total)
        .arg(total - recorded);
}

void ProChronoRemoteExchange::later(int milliseconds, std::function<void()> what)
{
    const quint64 generation = m_generation;
    m_host.services().steps->after(milliseconds, this, [this, generation, what = std::move(what)] {
        if (generation == m_generation && m_state != State::Idle)
            what();
    });
}

void ProChronoRemoteExchange::begin()
{
    if (m_state == State::Ending)
        closingSteps(); // a window opened again before the last one's closing steps ran
    if (m_state != State::Idle)
        return;
    ++m_generation;
    m_state = State::Ready;
    m_pending.clear();
    m_host.setReceiver(CaptureHost::Receiver::ProChronoRemote);
    m_host.setWatchdog(false);
    m_host.setProChronoPoll(false);
    m_host.proChronoState().expectedReply = kStatusReply;
    request([this] {
        return Sequence{{[this] { setInputLength(15); }, 200}, {[this] { send(prochrono::kStatusQuery); }, 600}};
    });
}

void ProChronoRemoteExchange::changeString()
{
    request([this] {
        return Sequence{{[this] {
                             m_host.proChronoState().expectedReply = kNoReply;
                             send(prochrono::kChangeString);
                         },
                         1000},
                        {[this] { setInputLength(15); }, 200},
                        {[this] {
                             m_host.proChronoState().expectedReply = kStatusReply;
                             send(prochrono::kStatusQuery);
                         },
                         600}};
    });
}

void ProChronoRemoteExchange::deleteString(bool confirmed)
{
    request([this, confirmed] {
        Sequence steps;
        if (confirmed)
            steps.push_back({[this] {
                                 send(prochrono::kDeleteString);
                                 if (m_cut.string == currentString())
                                     m_cut = Cut{}; // nothing of it is left to skip
                             },
                             1000});
        steps.push_back({[this] {
                             setInputLength(15);
                             m_host.proChronoState().expectedReply = kStatusReply;
                             send(prochrono::kStatusQuery);
                         },
                         0});
        return steps;
    });
}

void ProChronoRemoteExchange::dumpString()
{
    request([this] {
        const ProChronoState& state = m_host.proChronoState();
        const QStringList frames = prochrono::dumpFrames(state.currentString, state.shotsInCurrentString);
        Sequence steps;
        steps.push_back({[this] {
                             const ProChronoState& now = m_host.proChronoState();
                             m_dump = Dump{};
                             m_dump.running = true;
                             m_dump.string = now.currentString;
                             m_dump.total = now.shotsInCurrentString;
                             if (m_cut.string == m_dump.string && m_cut.recorded <= m_dump.total)
                                 m_dump.skip = m_cut.recorded;
                             m_dump.recordedUpTo = m_dump.skip;
                             setInputLength(31);
                         },
                         0});
        for (const QString& frame : frames)
            steps.push_back({[this, frame] {
                                 m_host.proChronoState().expectedReply = kBlockReply;
                                 send(frame);
                             },
                             300});
        steps.push_back({[this] {
                             // A device that said nothing leaves what a cut dump recorded to be skipped still.
                             if (m_dump.blocksRead * kShotsPerBlock >= m_dump.skip ||
                                 m_dump.recordedUpTo >= m_dump.total)
                                 m_cut = Cut{};
                             m_dump.running = false;
                         },
                         0});
        return steps;
    });
}

void ProChronoRemoteExchange::request(std::function<Sequence()> sequence)
{
    if (m_state == State::Idle || m_state == State::Ending)
        return;
    m_requests.push_back(std::move(sequence));
    if (m_state == State::Ready)
        startNext();
}

void ProChronoRemoteExchange::startNext()
{
    if (m_requests.empty()) {
        m_state = State::Ready;
        return;
    }
    m_state = State::Running;
    const Sequence steps = m_requests.front()();
    m_requests.pop_front();
    m_steps.assign(steps.begin(), steps.end());
    runSteps();
}

void ProChronoRemoteExchange::runSteps()
{
    m_waiting = 0;
    while (!m_steps.empty()) {
        const Step step = m_steps.front();
        m_steps.pop_front();
        try {
            step.action();
        } catch (const std::exception&) {
            stepsFailed();
            return;
        }
        if (step.waitAfter > 0) {
            m_waiting = step.waitAfter;
            later(step.waitAfter, [this] {
                if (m_state == State::Running)
                    runSteps();
            });
            return;
        }
    }
    startNext();
}

void ProChronoRemoteExchange::stepsFailed()
{
    // The remaining steps, and what was asked after them, are dropped: the port is not usable. A
    // dump stays open for the replies still on their way, and is told as cut if the device went.
    m_steps.clear();
    m_requests.clear();
    m_state = State::Ready;
    // Told from the event loop, not from inside whatever asked for the steps.
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation == m_generation && m_state != State::Idle)
            m_host.services().prompt->message(kCommunicationError);
    });
}

void ProChronoRemoteExchange::end()
{
    if (m_state == State::Idle || m_state == State::Ending)
        return;
    const int inFlight = m_state == State::Running ? m_waiting : 0;
    ++m_generation;
    m_steps.clear();
    m_requests.clear();
    if (inFlight <= 0) {
        closingSteps();
        return;
    }
    // The reply to what was sent last is still taken as this exchange's; then live mode.
    m_state = State::Ending;
    later(inFlight, [this] {
        if (m_state != State::Ending)
            return;
        // A port closed meanwhile (the program ending) is not opened again for live reads.
        CommPort& port = m_host.port();
        if (!port.PortOpen() && !port.isLost()) {
            port.setInputLen(1);
            port.setInBufferSize(1);
        }
        closingSteps();
    });
}

void ProChronoRemoteExchange::closingSteps()
{
    ++m_generation;
    m_state = State::Idle;
    m_waiting = 0;
    if (m_dump.running)
        noteCutDump(false);
    liveReadsAgain();
    m_host.setCaptureEnabled(true);
    m_host.setReceiver(CaptureHost::Receiver::Live);
    m_host.clearPartialLine();
    m_host.setWatchdog(true);
    m_host.setProChronoPoll(true);
}

void ProChronoRemoteExchange::liveReadsAgain()
{
    m_pending.clear();
    try {
        ::setInputLength(m_host.port(), 1);
    } catch (const std::exception&) {
        // A port that cannot be opened again: its loss is reported by the port itself.
    }
}

void ProChronoRemoteExchange::deviceLost()
{
    if (m_state == State::Idle)
        return;
    ++m_generation;
    m_steps.clear();
    m_requests.clear();
    if (m_dump.running)
        noteCutDump(true);
    m_state = State::Idle;
    m_waiting = 0;
    // The port keeps the input length for its reopening, so it comes back reading single
    // characters; the polls start when capture resumes.
    liveReadsAgain();
    m_closingOnReturn = true;
    m_host.setCaptureEnabled(true);
    m_host.setReceiver(CaptureHost::Receiver::Live);
    m_host.clearPartialLine();
}

bool ProChronoRemoteExchange::deviceBack()
{
    if (!m_closingOnReturn)
        return true;
    m_closingOnReturn = false;
    liveReadsAgain();
    m_host.setWatchdog(true);
    return true;
}

void ProChronoRemoteExchange::noteCutDump(bool disconnected)
{
    const Dump dump = m_dump;
    m_dump.running = false;
    if (dump.recordedUpTo >= dump.total)
        return; // nothing was left behind
    m_cut = Cut{dump.string, dump.recordedUpTo};
    const QString text = cutDumpText(dump.string, dump.recordedUpTo, dump.total, disconnected);
    // Told from the event loop, after the closing steps; the exchange may have begun again by then.
    QTimer::singleShot(0, this, [this, text] { m_host.services().prompt->message(text, Prompt::Icon::Exclamation); });
}

void ProChronoRemoteExchange::send(const QString& frame)
{
    m_host.port().setOutput(frame);
}

void ProChronoRemoteExchange::setInputLength(int n)
{
    m_pending.clear(); // the port's buffers are flushed with it
    ::setInputLength(m_host.port(), n);
}

void ProChronoRemoteExchange::receive(const QString& x)
{
    if (m_state == State::Idle)
        return;
    const int expected = m_host.proChronoState().expectedReply;
    if (expected != kBlockReply && expected != kStatusReply) {
        m_pending.clear();
        return;
    }
    // The device's reply comes in pieces while events are handled; one read of InputLen
    // characters is one reply, as when it waited whole in the port's buffer.
    m_pending += x;
    const int length = m_host.port().InputLen();
    while (!m_pending.isEmpty() && m_pending.size() >= length) {
        const QString reply = length > 0 ? m_pending.left(length) : m_pending;
        m_pending.remove(0, reply.size());
        try {
            handleReply(reply);
        } catch (const std::exception&) {
            // A reply that does not decode is dropped, as any failed reading is.
        }
    }
}

void ProChronoRemoteExchange::handleReply(const QString& reply)
{
    ProChronoState& state = m_host.proChronoState();
    if (state.expectedReply == kBlockReply) {
        recordBlock(prochrono::lastPieces(reply, 30));
    } else if (state.expectedReply == kStatusReply) {
        const QStringList pieces = prochrono::lastPieces(reply, 14);
        if (pieces.size() < 3 || pieces[1].size() != 2 || pieces[2].size() != 2)
            AppError::raise(9);
        state.currentString = qint16(prochrono::hexValue(pieces[1]));
        state.shotsInCurrentString = qint16(prochrono::hexValue(pieces[2]));
        // Fewer shots than a cut dump recorded: the string was cleared and shot again.
        if (m_cut.string == state.currentString && state.shotsInCurrentString < m_cut.recorded)
            m_cut = Cut{};
        emit statusRead(state.currentString, state.shotsInCurrentString);
    }
}

void ProChronoRemoteExchange::recordBlock(const QStringList& pieces)
{
    const std::vector<double> velocities = prochrono::blockVelocities(pieces, m_host.calibration());
    if (!m_dump.running) {
        for (double v : velocities)
            m_host.recordShot(v);
        return;
    }
    const int first = m_dump.blocksRead * kShotsPerBlock;
    ++m_dump.blocksRead;
    for (size_t i = 0; i < velocities.size(); ++i) {
        const int position = first + int(i) + 1;
        if (position <= m_dump.skip)
            continue; // recorded by the dump that was cut off
        m_host.recordShot(velocities[i]);
        m_dump.recordedUpTo = std::max(m_dump.recordedUpTo, position);
    }
}
