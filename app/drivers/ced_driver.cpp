#include "ced_driver.h"

#include "drivers/comm_port.h"
#include "main_window/frm_main.h"
#include "services/clock.h"
#include "services/prompt.h"
#include "shot/record_shot.h"

#include <QTimer>

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

qint64 wallSeconds(frmMain& main)
{
    return main.services().clock->now().toSecsSinceEpoch();
}

} // namespace

double cedVelocity(const QByteArray& reply)
{
    return 256.0 * byteAt(reply, 5) + byteAt(reply, 4) + byteAt(reply, 6) / 10.0;
}

void cedExchange(frmMain& main, int code)
{
    CedState& ced = main.ced;
    HidControl hid = main.hid();
    ced.cedReplyWait = 10;
    hid.WriteTo(ced.cedOutReport, 6);
    ced.cedInReport = hid.ReadFrom(8);
    main.timerErrorCount = 0;
    const qint64 t0 = wallSeconds(main);
    for (int attempts = 0; byteAt(ced.cedInReport, 0) != code && attempts < 30; ++attempts) {
        main.services().sleeper->sleep(ced.cedReplyWait);
        ced.cedInReport = hid.ReadFrom(8);
    }
    main.timerErrorCount = qint16(std::min<qint64>(wallSeconds(main) - t0, 32767));
    if (main.timerErrorCount >= 3) {
        main.services().prompt->message(QStringLiteral(
            "Lost connection to CED! Please make sure it is plugged in and then re-configure Velmora."));
        hid.Disconnect();
        hid.Uninit();
        main.timerCED->stop();
    }
}

bool cedQueryStatus(frmMain& main)
{
    CedState& ced = main.ced;
    newRequest(ced, 1);
    cedExchange(main, 1);
    const bool answered = byteAt(ced.cedInReport, 0) == 1;
    if (answered && byteAt(ced.cedInReport, 2) > ced.cedCurrentString) {
        ced.cedCurrentString = byteAt(ced.cedInReport, 2);
        ced.cedShotCount = 0;
    }
    return answered;
}

bool cedQueryShotCount(frmMain& main, int string)
{
    CedState& ced = main.ced;
    newRequest(ced, 2, string, ced.cedShotCount);
    cedExchange(main, 2);
    const bool answered = byteAt(ced.cedInReport, 0) == 2;
    if (answered && byteAt(ced.cedInReport, 4) > ced.cedShotCount) {
        ced.cedShotCount = byteAt(ced.cedInReport, 4);
        ced.cedNewShot = true;
    }
    return answered;
}

double cedReadVelocity(frmMain& main, int string, int shot)
{
    CedState& ced = main.ced;
    newRequest(ced, 3, string, shot);
    cedExchange(main, 3);
    if (byteAt(ced.cedInReport, 0) == 3) {
        ced.cedReadFailed = false;
        return cedVelocity(ced.cedInReport);
    }
    ced.cedReadFailed = true;
    return 0;
}

void cedPoll(frmMain& main)
{
    CedState& ced = main.ced;
    if (ced.polling || !main.hid().Connected())
        return;
    ced.polling = true;
    try {
        newRequest(ced, 0);
        ced.cedNewShot = false;
        const bool statusAnswered = cedQueryStatus(main);
        const bool answered = cedQueryShotCount(main, ced.cedCurrentString) && statusAnswered;
        // A device that says it holds no shot has nothing to skip: its first real shot must
        // count. A device that did not answer may hold one, so the skip stays.
        if (ced.cedSkipNext && answered && (ced.cedCurrentString == 0 || ced.cedShotCount == 0))
            ced.cedSkipNext = false;
        if ((ced.cedNewShot || ced.cedReadFailed) && ced.cedCurrentString > 0 && ced.cedShotCount > 0) {
            main.services().sleeper->sleep(10);
            const double v = cedReadVelocity(main, ced.cedCurrentString, ced.cedShotCount);
            if (!ced.cedReadFailed) {
                if (ced.cedSkipNext)
                    ced.cedSkipNext = false;
                else
                    RecordShot(main, v);
            }
        }
    } catch (const std::exception&) {
        // A shot that cannot be recorded (a weight that is not a number) is dropped, as on the serial path.
    }
    ced.polling = false;
}

bool cedResynchronise(frmMain& main)
{
    CedState& ced = main.ced;
    ced.cedCurrentString = 0;
    ced.cedShotCount = 0;
    const bool statusAnswered = cedQueryStatus(main);
    const bool answered = cedQueryShotCount(main, ced.cedCurrentString) && statusAnswered;
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

void cedConnectAtStartup(frmMain& main)
{
    if (main.MSComm1->PortOpen())
        main.MSComm1->setPortOpen(false);
    main.ced.resetForConnection();
    if (main.disableHID)
        return;
    main.ced.cedSkipNext = true;
    const QString path = main.hid().Browse();
    if (!path.isEmpty())
        main.hid().ConnectToPath(path);
    main.timerCED->start();
}
