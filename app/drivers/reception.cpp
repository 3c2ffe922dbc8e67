#include "reception.h"

#include "capture/capture_session.h"
#include "drivers/ced_driver.h"
#include "drivers/comm_port.h"
#include "device_windows/frm_options.h"
#include "drivers/line_decoders.h"
#include "device_windows/memory_windows.h"
#include "drivers/prochrono_link.h"
#include "main_window/frm_main.h"
#include "main_window/option_group.h"
#include "services/regional.h"
#include "shot/record_shot.h"

#include <QLineEdit>
#include <QTimer>

namespace reception {

bool dropPartialLine(qsizetype length, qsizetype incoming, qint64 ageMs, qsizetype limit)
{
    return length > 0 && (length + incoming > limit || ageMs > kMaxPartialLineAgeMs);
}

} // namespace reception

namespace {

// Keeps the partial line bounded in length and age before a fragment is added to it.
void boundPartialLine(frmMain& main, qsizetype incoming, qsizetype limit)
{
    if (main.session().strReceivedAll.isEmpty() ||
        reception::dropPartialLine(main.session().strReceivedAll.size(), incoming, main.session().partialLineAge.elapsed(), limit)) {
        main.session().strReceivedAll.clear();
        main.session().partialLineAge.start();
    }
}

void decodeAndRecord(frmMain& main)
{
    main.session().countShot = false;
    const double v = ReadCalibratedSpeed(main);
    // A download again of a string whose download was cut: its first shots are in the table.
    if (main.session().countShot && !main.session().skipDownloadedShot())
        RecordShot(main, v);
}

void liveMode(frmMain& main)
{
    const QString fragment = main.session().MSComm1->Input();
    if (fragment.isEmpty())
        return;
    boundPartialLine(main, fragment.size(), reception::kMaxPartialLine);
    if (main.options().chronoType->isSelected(4)) {
        main.session().strReceivedAll += fragment;
        decodeAndRecord(main);
        return;
    }
    if (fragment[0] != u'\r') {
        if (fragment[0] != u'\n')
            main.session().strReceivedAll += fragment;
        main.session().echoed_data = false;
        main.session().Timer1->stop();
        main.session().Timer1->start();
        return;
    }
    decodeAndRecord(main);
    // A line that is no shot ends at its CR too: the next line is decoded on its own, so a
    // talking device costs one decode per line, not one per line over everything it said.
    if (!main.session().countShot)
        main.session().strReceivedAll.clear();
}

void chronyMemoryMode(frmMain& main)
{
    const QString fragment = main.session().MSComm1->Input();
    if (fragment.startsWith(u'>')) {
        appendChronyOutput(main, main.session().strReceivedAll + QStringLiteral("\r\n"));
        main.session().strReceivedAll.clear();
    } else {
        boundPartialLine(main, fragment.size(), reception::kMaxMemoryReply);
        main.session().strReceivedAll += fragment;
        main.session().echoed_data = false;
    }
}

} // namespace

void MSComm1_OnComm(frmMain& main)
{
    try {
        if (main.session().MSComm1->CommEvent() != CommPort::kEvReceive)
            return;
        if (!main.session().chrony_data && !main.session().prochrono_data)
            liveMode(main);
        else if (main.session().prochrono_data)
            proChronoRemoteReceive(main);
        else
            chronyMemoryMode(main);
    } catch (const std::exception&) {
        // The reading is dropped without a message; what was done stays done.
    }
}

double ReadCalibratedSpeed(frmMain& main)
{
    const OptionGroup& type = *main.options().chronoType;
    double v = 0;
    if (type.isSelected(3))
        v = cedReadVelocity(main, 0, 0);
    else if (type.isSelected(1))
        v = DecodeChronyLine(main);
    else if (type.isSelected(2))
        v = DecodeCombroLine(main);
    else if (type.isSelected(4))
        v = proChronoLiveDecode(main);
    const double calibration = regional::toNumberOrFail(main.options().txtCalibration->text());
    return regional::checked(v * (calibration / 100.0));
}

double DecodeChronyLine(frmMain& main)
{
    if (!main.options().chronoType->isSelected(1))
        return 0;
    const DecodedLine d = decodeChronyLine(main.session().strReceivedAll, main.session().eurozone);
    main.session().countShot = d.countShot;
    return d.fps;
}

double DecodeCombroLine(frmMain& main)
{
    if (!main.options().chronoType->isSelected(2))
        return 0;
    const DecodedLine d = decodeCombroLine(main.session().strReceivedAll);
    main.session().countShot = d.countShot;
    return d.fps;
}
