#pragma once

#include "drivers/hid_control.h"
#include "shot/ballistics.h"

#include <QString>

class CaptureSession;
class CommPort;
class ShotString;
struct AppServices;
struct ShotSettings;
struct CedState;
struct ProChronoState;

// What the device exchanges and drivers need of the capture they serve: the port, the HID
// control, the polls, where received characters go, and the shot path. The main window provides
// it; nothing here reaches a window.
class CaptureHost {
public:
    // Where received serial characters go.
    enum class Receiver { Live, ChronyMemory, ProChronoRemote };

    virtual ~CaptureHost() = default;

    virtual const AppServices& services() const = 0;
    virtual CommPort& port() = 0;
    virtual HidControl hid() const = 0;
    // Devlink did not load on this machine.
    virtual bool hidDisabled() const = 0;

    virtual void setReceiver(Receiver receiver) = 0;
    // Drops the partial line the live decoders were collecting.
    virtual void clearPartialLine() = 0;
    // The serial watchdog, the ProChrono status poll and the CED poll.
    virtual void setWatchdog(bool running) = 0;
    virtual void setProChronoPoll(bool running) = 0;
    virtual void setCedPoll(bool running) = 0;
    // The main window takes input (it is disabled while a memory window is open).
    virtual void setCaptureEnabled(bool enabled) = 0;

    virtual ProChronoState& proChronoState() = 0;
    virtual CedState& cedState() = 0;
    // The chronograph family chosen in the options: 1 Shooting Chrony, 2 Combro, 3 CED M2,
    // 4 ProChrono; 0 when none is.
    virtual int chronoFamily() = 0;
    // Its caption, as the chronograph row names it ("Chronograph" when none is chosen).
    virtual QString chronoFamilyCaption() = 0;
    // The chronograph row of the main window.
    virtual void showChronoStatus(const QString& text) = 0;
    // Closes the serial memory windows that are open, each with its closing steps; the title of
    // the one closed, empty when none was open.
    virtual QString closeSerialMemoryWindows() = 0;
    virtual bool proChronoWindowOpen() const = 0;
    // The calibration in percent; fails when the option is not a number.
    virtual double calibration() = 0;
    // How long the last CED exchange took, in whole seconds.
    virtual void setCedExchangeSeconds(int seconds) = 0;

    // The session whose state the exchanges and the shot path share.
    virtual CaptureSession& session() = 0;
    // What a shot is recorded with, and the string it is appended to.
    virtual ShotSettings& shotSettings() = 0;
    virtual ShotString& string() = 0;

    // What the main window shows of a shot, in the shot path's order: its large figures (from the
    // velocity and the figures computed once), the sound, the list line, the newest table row,
    // the summary row, the string buttons, the undocked speed panel, and the status of the cache.
    virtual void showShotFigures(double fps, const ballistics::ShotFigures& figures) = 0;
    virtual void playShotSound() = 0;
    virtual void appendListLine(const QString& line) = 0;
    virtual void showLastRow() = 0;
    virtual void updateTotalsShot() = 0;
    virtual void enableStringButtons() = 0;
    virtual void showShotOnSpeedPanel() = 0;
    virtual void showCacheProblem(const QString& text) = 0;

    // The shot path: a live shot, a shot downloaded from a memory, and the end of a download.
    virtual void recordShot(double fps) = 0;
    virtual void recordDumpedShot(double fps) = 0;
    virtual void dumpFinished(double lastFps) = 0;
    virtual double lastFps() const = 0;
    // The shots recorded in the current string so far.
    virtual int shotCount() const = 0;
};
