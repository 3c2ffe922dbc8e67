#pragma once

#include "capture/capture_host.h"
#include "capture/capture_session.h"
#include "drivers/ced_state.h"
#include "drivers/hid_control.h"
#include "drivers/prochrono_state.h"
#include "main_window/string_statistics.h"
#include "storage/pellet_store.h"
#include "services/app_services.h"
#include "shot/shot_settings.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class CaptureSession;
class ClickableLabel;
class CommPort;
class FlexGrid;
class ListText;
class OptionGroup;
class frmOptions;
class frmPellet;
class frmSpeed;
class frmChronyExtras;
class frmProChronoExtras;
class frmCEDStatus;
class StringHistory;
class ShotString;
struct StringUnits;
class frmMain;

// Holds the shots of a main window for as long as it lives.
class ShotHold {
public:
    explicit ShotHold(frmMain& main);
    ~ShotHold();
    ShotHold(const ShotHold&) = delete;
    ShotHold& operator=(const ShotHold&) = delete;

private:
    frmMain& m_main;
};

// The main window: the shot table, summary and list text, the large figures, the serial port,
// the three timers and, when Devlink loads, the HID control. Its public values are shared with
// the shot path, the decoders and the dialogs, as the windows of this program share them.
class frmMain : public QMainWindow, public CaptureHost {
    Q_OBJECT
public:
    explicit frmMain(const AppServices& services, QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up: settings into the controls, the chronograph connected, the cache replayed.
    void Form_Load();

    const AppServices& services() const override { return m_services; }
    // The option windows are created on first use and live until shut-down.
    frmOptions& options();
    frmPellet& pellet();

    // The name of the file the string was last saved to.
    QString sFilename;

    // Controls.
    QGroupBox* fmeSpeed = nullptr;
    QGroupBox* fmePower = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    OptionGroup* optSpeed = nullptr;
    OptionGroup* optPower = nullptr;
    QPushButton* btnMax = nullptr;
    FlexGrid* MSFlexGrid1 = nullptr;
    FlexGrid* MSFlexGrid2 = nullptr;
    ListText* Text1 = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnReset = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnDump = nullptr;
    ClickableLabel* lblChrono = nullptr;
    ClickableLabel* lblGun = nullptr;
    ClickableLabel* lblProjectile = nullptr;
    QLabel* lblSelChrono = nullptr;
    QLabel* lblSelGun = nullptr;
    QLabel* lblSelProjectile = nullptr;
    QMenu* mnuViewMenu = nullptr;
    QAction* mnuSettings = nullptr;
    QAction* mnuPelletSettings = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuChart = nullptr;
    QAction* mnuHistory = nullptr;
    // The memory windows, while open.
    QPointer<frmChronyExtras> chronyExtras;
    QPointer<frmProChronoExtras> proChronoExtras;
    QPointer<frmCEDStatus> cedStatus;

    // The current string: the shot table, summary and list text show it.
    ShotString& string() override { return *m_string; }
    const ShotString& string() const { return *m_string; }

    // Tables and statistics.
    void updateTotals();
    void updateTotalsShot() override;
    void btnReset_Click();
    // Ends the string as Clear does once the user said yes: archived, then the table emptied.
    void clearString();
    void btnDelete_Click();

    // Units and the power limit colour.
    void optSpeed_Click(int index);
    void optPower_Click(int index);
    void setPowerCaption(const QString& caption);
    void Label3_Change();
    // Red above the gun type's limit, the button-text colour otherwise.
    void colourPowerFigure(QLabel* figure);

    // The undocked speed and power panel.
    void btnMax_Click();
    void dockSpeedPanel();
    frmSpeed* visibleSpeedPanel() const;

    // Saving the string.
    void btnSave_Click();
    // The units the summary row is shown in. With the IPSC factor and a weight that is not a
    // number, the weight of the string's last shot (none without shots).
    SummaryUnits summaryUnits();
    // Those units and the gun type.
    StringUnits stringUnits();

    // The device exchanges of the memory windows.
    CaptureSession& session() override { return *m_session; }

    // The current shot settings: what a shot is recorded with. The Data Options window and the
    // unit options keep it current; the shot path reads it.
    ShotSettings& shotSettings() override { return m_shotSettings; }
    const ShotSettings& shotSettings() const { return m_shotSettings; }

    // The chart, the string history and the archive of cleared and finished strings.
    StringHistory& history() { return *m_history; }

    // Commands.
    void btnDump_Click();
    void lblChrono_Click();
    void lblGun_Click();
    void lblProjectile_Click();
    void Timer1_Timer();

    // Selection labels.
    void UpdateGunLabel();
    void UpdateProjectileLabel();
    void UpdateChronoLabel();

    bool PlayWAV(const QString& fileName, bool SyncExec);
    void SetScreenSaverActive(bool active);

    // The serial line settings of a chronograph family.
    static QString lineSettingsFor(int chronoType);
    // The weight word of the current unit, "Grammes" or "Grains".
    QString weightWord();
    // Typed access to the HID control.
    HidControl hid() const override { return HidControl(m_session->DevPort1); }

    // What the device exchanges and drivers use of the capture.
    CommPort& port() override { return *m_session->MSComm1; }
    bool hidDisabled() const override { return m_session->disableHID; }
    void setReceiver(Receiver receiver) override;
    void clearPartialLine() override { m_session->strReceivedAll.clear(); }
    void setWatchdog(bool running) override;
    void setProChronoPoll(bool running) override;
    void setCedPoll(bool running) override;
    void setCaptureEnabled(bool enabled) override { setEnabled(enabled); }
    ProChronoState& proChronoState() override { return m_session->proChrono; }
    CedState& cedState() override { return m_session->ced; }
    int chronoFamily() override;
    QString chronoFamilyCaption() override;
    void showChronoStatus(const QString& text) override;
    QString closeSerialMemoryWindows() override;
    bool proChronoWindowOpen() const override;
    double calibration() override;
    void setCedExchangeSeconds(int seconds) override { m_session->timerErrorCount = qint16(seconds); }
    void recordShot(double fps) override;
    void recordDumpedShot(double fps) override;
    void dumpFinished(double lastFps) override;
    void showShotFigures(double fps, const ballistics::ShotFigures& figures) override;
    void playShotSound() override;
    void appendListLine(const QString& line) override;
    void showLastRow() override;
    void enableStringButtons() override;
    void showShotOnSpeedPanel() override;
    double lastFps() const override { return m_session->last_fps; }
    int shotCount() const override { return m_session->shot_count; }

    // While held, received characters and polls wait, so that shots arriving during a message
    // of an ending or of the recovery are recorded after it, in order.
    bool shotsHeld() const { return m_shotHolds > 0; }
    void holdShots() { ++m_shotHolds; }
    void releaseShots();

    // Ends the program as Exit does, without its questions (a signal, the session manager).
    void endWithoutQuestions();
    // The one message of the status row: a failing cache while capturing, empty when none.
    void showCacheProblem(const QString& text) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    void connectSerialAtStartup(int storedPort);
    void labelStatusButtonAtStartup();
    void shutDown();
    void appendCsvSummary();
    void buildDataCollectorText();
    void buildPelletLogText();
    std::vector<PelletStore::CachedShot> cachedShotsForSaving() const;
    void resetStringState();
    void writeSummaryRow();
    void connectStringViews();
    // The unit options into the shot settings, before their own handlers run.
    void followUnitOptions();

    AppServices m_services;
    std::unique_ptr<frmOptions> m_options;
    std::unique_ptr<frmPellet> m_pellet;
    QPointer<frmSpeed> m_speed;
    int m_undockedBy = 0; // how much shorter the window became when the panel was undocked
    bool m_shutDown = false;
    bool m_quietEnding = false;
    int m_shotHolds = 0;
    QString m_cacheProblem;
    ShotString* m_string = nullptr;
    CaptureSession* m_session = nullptr;
    std::unique_ptr<StringHistory> m_history;
    ShotSettings m_shotSettings;
};
