#include "ced_driver.h"

#include "capture/capture_host.h"
#include "drivers/ced_state.h"
#include "drivers/comm_port.h"
#include "services/app_services.h"
#include "services/clock.h"
#include "services/prompt.h"

namespace {

int byteAt(const QByteArray& report, int index)
{
    return index < report.size() ? static_cast<unsigned char>(report[index]) : 0;
}

void newRequest(CedState& ced, int code, int string = 0, int shot = 0)
{
    ced.cedOutReport = QByteArray(7, '\0');
    ced.cedInReport.clear();
    ced.cedOutReport[0] = char(code);
    ced.cedOutReport[2] = char(string & 0xFF);
    ced.cedOutReport[4] = char(shot & 0xFF);
}

qint64 wallSeconds(CaptureHost& host)
{
    return host.services().clock->now().toSecsSinceEpoch();
}

} // namespace

double cedVelocity(const QByteArray& reply)
{
    return 256.0 * byteAt(reply, 5) + byteAt(reply, 4) + byteAt(reply, 6) / 10.0;
}

void cedExchange(CaptureHost& host, int code)
{
    CedState& ced = host.cedState();
    HidControl hid = host.hid();
    ced.cedReplyWait = 10;
    hid.WriteTo(ced.cedOutReport, 6);
    ced.cedInReport = hid.ReadFrom(8);
    host.setCedExchangeSeconds(0);
    const qint64 t0 = wallSeconds(host);
    for (int attempts = 0; byteAt(ced.cedInReport, 0) != code && attempts < 30; ++attempts) {
        host.services().sleeper->sleep(ced.cedReplyWait);
        ced.cedInReport = hid.ReadFrom(8);
    }
    const qint64 seconds = wallSeconds(host) - t0;
    host.setCedExchangeSeconds(int(std::min<qint64>(seconds, 32767)));
    if (seconds >= 3) {
        if (ced.deferLostNotice)
            ced.lostPending = true;
        else
            cedConnectionLost(host);
    }
}

void cedConnectionLost(CaptureHost& host)
{
    host.cedState().lostPending = false;
    host.services().prompt->message(
        QStringLiteral("Lost connection to CED! Please make sure it is plugged in and then re-configure Velmora."));
    HidControl hid = host.hid();
    hid.Disconnect();
    hid.Uninit();
    host.setCedPoll(false);
}

bool cedQueryStatus(CaptureHost& host)
{
    CedState& ced = host.cedState();
    newRequest(ced, 1);
    cedExchange(host, 1);
    const bool answered = byteAt(ced.cedInReport, 0) == 1;
    if (answered && byteAt(ced.cedInReport, 2) > ced.cedCurrentString) {
        ced.cedCurrentString = byteAt(ced.cedInReport, 2);
        ced.cedShotCount = 0;
    }
    return answered;
}

bool cedQueryShotCount(CaptureHost& host, int string)
{
    CedState& ced = host.cedState();
    newRequest(ced, 2, string, ced.cedShotCount);
    cedExchange(host, 2);
    const bool answered = byteAt(ced.cedInReport, 0) == 2;
    if (answered && byteAt(ced.cedInReport, 4) > ced.cedShotCount) {
        ced.cedShotCount = byteAt(ced.cedInReport, 4);
        ced.cedNewShot = true;
    }
    return answered;
}

double cedReadVelocity(CaptureHost& host, int string, int shot)
{
    CedState& ced = host.cedState();
    newRequest(ced, 3, string, shot);
    cedExchange(host, 3);
    if (byteAt(ced.cedInReport, 0) == 3) {
        ced.cedReadFailed = false;
        return cedVelocity(ced.cedInReport);
    }
    ced.cedReadFailed = true;
    return 0;
}

void cedPoll(CaptureHost& host)
{
    CedState& ced = host.cedState();
    if (ced.polling || !host.hid().Connected())
        return;
    ced.polling = true;
    try {
        newRequest(ced, 0);
        ced.cedNewShot = false;
        const bool statusAnswered = cedQueryStatus(host);
        const bool answered = cedQueryShotCount(host, ced.cedCurrentString) && statusAnswered;
        // A device that says it holds no shot has nothing to skip: its first real shot must
        // count. A device that did not answer may hold one, so the skip stays.
        if (ced.cedSkipNext && answered && (ced.cedCurrentString == 0 || ced.cedShotCount == 0))
            ced.cedSkipNext = false;
        if ((ced.cedNewShot || ced.cedReadFailed) && ced.cedCurrentString > 0 && ced.cedShotCount > 0) {
            host.services().sleeper->sleep(10);
            const double v = cedReadVelocity(host, ced.cedCurrentString, ced.cedShotCount);
            if (!ced.cedReadFailed) {
                if (ced.cedSkipNext)
                    ced.cedSkipNext = false;
                else
                    host.recordShot(v);
            }
        }
    } catch (const std::exception&) {
        // A shot that cannot be recorded (a weight that is not a number) is dropped, as on the serial path.
    }
    ced.polling = false;
}

bool cedResynchronise(CaptureHost& host)
{
    CedState& ced = host.cedState();
    ced.cedCurrentString = 0;
    ced.cedShotCount = 0;
    const bool statusAnswered = cedQueryStatus(host);
    const bool answered = cedQueryShotCount(host, ced.cedCurrentString) && statusAnswered;
    ced.cedNewShot = false;
    if (!answered) {
        // Without the device's present state, the next velocity it reports may be a dumped one.
        ced.cedReadFailed = true;
        ced.cedSkipNext = true;
        return false;
    }
    ced.cedReadFailed = false;
    ced.cedSkipNext = false;
    return true;
}

void cedConnectAtStartup(CaptureHost& host)
{
    if (host.port().PortOpen())
        host.port().setPortOpen(false);
    CedState& ced = host.cedState();
    ced.resetForConnection();
    if (host.hidDisabled())
        return;
    ced.cedSkipNext = true;
    const QString path = host.hid().Browse();
    if (!path.isEmpty())
        host.hid().ConnectToPath(path);
    host.setCedPoll(true);
}
