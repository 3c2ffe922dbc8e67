#include "reception.h"

#include "capture/capture_host.h"
#include "capture/capture_session.h"
#include "drivers/ced_driver.h"
#include "drivers/comm_port.h"
#include "drivers/line_decoders.h"
#include "capture/chrony_memory_exchange.h"
#include "drivers/prochrono_link.h"
#include "services/regional.h"
#include "shot/record_shot.h"

#include <QTimer>

namespace reception {

bool dropPartialLine(qsizetype length, qsizetype incoming, qint64 ageMs, qsizetype limit)
{
    return length > 0 && (length + incoming > limit || ageMs > kMaxPartialLineAgeMs);
}

} // namespace reception

namespace {

// Keeps the partial line bounded in length and age before a fragment is added to it.
void boundPartialLine(CaptureSession& session, qsizetype incoming, qsizetype limit)
{
    if (session.strReceivedAll.isEmpty() ||
        reception::dropPartialLine(session.strReceivedAll.size(), incoming, session.partialLineAge.elapsed(), limit)) {
        session.strReceivedAll.clear();
        session.partialLineAge.start();
    }
}

void decodeAndRecord(CaptureSession& session)
{
    session.countShot = false;
    const double v = ReadCalibratedSpeed(session);
    // A download again of a string whose download was cut: its first shots are in the table.
    if (session.countShot && !session.skipDownloadedShot())
        session.host().recordShot(v);
}

void liveMode(CaptureSession& session)
{
    const QString fragment = session.MSComm1->Input();
    if (fragment.isEmpty())
        return;
    boundPartialLine(session, fragment.size(), reception::kMaxPartialLine);
    if (session.host().chronoFamily() == 4) {
        session.strReceivedAll += fragment;
        decodeAndRecord(session);
        return;
    }
    if (fragment[0] != u'\r') {
        if (fragment[0] != u'\n')
            session.strReceivedAll += fragment;
        session.echoed_data = false;
        session.Timer1->stop();
        session.Timer1->start();
        return;
    }
    decodeAndRecord(session);
    // A line that is no shot ends at its CR too: the next line is decoded on its own, so a
    // talking device costs one decode per line, not one per line over everything it said.
    if (!session.countShot)
        session.strReceivedAll.clear();
}

void chronyMemoryMode(CaptureSession& session)
{
    const QString fragment = session.MSComm1->Input();
    if (fragment.startsWith(u'>')) {
        session.chronyMemory().reply(session.strReceivedAll + QStringLiteral("\r\n"));
        session.strReceivedAll.clear();
    } else {
        boundPartialLine(session, fragment.size(), reception::kMaxMemoryReply);
        session.strReceivedAll += fragment;
        session.echoed_data = false;
    }
}

} // namespace

void MSComm1_OnComm(CaptureSession& session)
{
    try {
        if (session.MSComm1->CommEvent() != CommPort::kEvReceive)
            return;
        if (!session.chrony_data && !session.prochrono_data)
            liveMode(session);
        else if (session.prochrono_data)
            proChronoRemoteReceive(session);
        else
            chronyMemoryMode(session);
    } catch (const std::exception&) {
        // The reading is dropped without a message; what was done stays done.
    }
}

double ReadCalibratedSpeed(CaptureSession& session)
{
    const int family = session.host().chronoFamily();
    double v = 0;
    if (family == 3)
        v = cedReadVelocity(session.host(), 0, 0);
    else if (family == 1)
        v = DecodeChronyLine(session);
    else if (family == 2)
        v = DecodeCombroLine(session);
    else if (family == 4)
        v = proChronoLiveDecode(session);
    const double calibration = session.host().calibration();
    return regional::checked(v * (calibration / 100.0));
}

double DecodeChronyLine(CaptureSession& session)
{
    if (session.host().chronoFamily() != 1)
        return 0;
    const DecodedLine d = decodeChronyLine(session.strReceivedAll, session.eurozone);
    session.countShot = d.countShot;
    return d.fps;
}

double DecodeCombroLine(CaptureSession& session)
{
    if (session.host().chronoFamily() != 2)
        return 0;
    const DecodedLine d = decodeCombroLine(session.strReceivedAll);
    session.countShot = d.countShot;
    return d.fps;
}
