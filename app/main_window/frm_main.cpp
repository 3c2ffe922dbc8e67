#include "frm_main.h"

#include "capture/capture_session.h"

#include "data_options/frm_pellet.h"
#include "drivers/ced_driver.h"
#include "drivers/comm_port.h"
#include "device_windows/frm_options.h"
#include "device_windows/memory_windows.h"
#include "drivers/prochrono_link.h"
#include "drivers/reception.h"
#include "drivers/serial_link.h"
#include "history/string_history.h"
#include "main_window/clickable_label.h"
#include "main_window/figure_holder.h"
#include "main_window/flex_grid.h"
#include "main_window/list_text.h"
#include "main_window/option_group.h"
#include "named_widget.h"
#include "services/event_guard.h"
#include "services/platform_services.h"
#include "services/prompt.h"
#include "string/shot_string.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kShotTableFormat = QStringLiteral(
    "<Shot  |<Date/Time               |<Make/Model                            |Grains     |fps          |m/s        "
    "|Ft.Lbf    |Joules    |IPSC-F   ");
const QString kSummaryFormat =
    QStringLiteral("^Shots|^Min fps|^Max fps|^Av fps|^Spread|^Std. Dev|^Min Ft.Lbf|^Max Ft.Lbf|^Av Ft.Lbf");

QLabel* figureLabel(const QString& name, const QString& toolTip, QWidget* parent)
{
    auto* label = new QLabel(QStringLiteral("0.00"), parent);
    label->setObjectName(name);
    label->setToolTip(toolTip);
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(32);
    label->setFont(font);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(220);
    return label;
}

} // namespace

frmMain::frmMain(const AppServices& services, QWidget* parent) : QMainWindow(parent), m_services(services)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Velmora"));
    m_session = new CaptureSession(*this, this);
    m_string = new ShotString(this);
    buildUi();
    connectStringViews();
    m_history = std::make_unique<StringHistory>(*m_string, m_services, this);

    auto transport = m_services.makeSerialTransport();
    m_session->MSComm1 = new CommPort(std::move(transport), m_services.portPath, m_session);
    m_session->MSComm1->setObjectName(QStringLiteral("MSComm1"));
    connect(m_session->MSComm1, &CommPort::OnComm, this, guarded([this] {
                if (!shotsHeld()) // left in the port's buffer until the hold ends
                    MSComm1_OnComm(*m_session);
            }));
    connect(m_session->MSComm1, &CommPort::connectionLost, this, guarded([this] { serialLinkLost(*m_session); }));
    connect(m_session->MSComm1, &CommPort::connectionBack, this, guarded([this] { serialLinkBack(*m_session); }));
    connect(m_session, &CaptureSession::captureResumed, this, guarded([this] { serialCaptureResumed(*m_session); }));
    connect(m_session->MSComm1, &CommPort::waitingBlocked, this,
            guarded([this](const QString& path, const QString& reason) { serialLinkBlocked(*m_session, path, reason); }));

    m_session->Timer1 = named(new QTimer(m_session), QStringLiteral("Timer1"));
    m_session->TimerProChrono = named(new QTimer(m_session), QStringLiteral("TimerProChrono"));
    m_session->timerCED = named(new QTimer(m_session), QStringLiteral("timerCED"));
    m_session->Timer1->setInterval(1000);
    m_session->TimerProChrono->setInterval(1000);
    m_session->timerCED->setInterval(kCedPollIntervalMs);
    connect(m_session->Timer1, &QTimer::timeout, this, guarded(this, &frmMain::Timer1_Timer));
    connect(m_session->TimerProChrono, &QTimer::timeout, this, guarded([this] {
                if (!shotsHeld()) // the shots wait in the chronograph
                    TimerProChrono_Timer(*m_session);
            }));
    connect(m_session->timerCED, &QTimer::timeout, this, guarded([this] {
                if (!shotsHeld())
                    cedPoll(*this);
            }));
}

frmMain::~frmMain() = default;

ShotHold::ShotHold(frmMain& main) : m_main(main)
{
    m_main.holdShots();
}

ShotHold::~ShotHold()
{
    m_main.releaseShots();
}

void frmMain::releaseShots()
{
    if (m_shotHolds > 0 && --m_shotHolds == 0 && m_session->MSComm1 && m_session->MSComm1->PortOpen())
        // After the code that held them has finished its own steps.
        QTimer::singleShot(0, this, guarded([this] {
                               if (!shotsHeld() && m_session->MSComm1 && m_session->MSComm1->PortOpen())
                                   m_session->MSComm1->deliverWaiting();
                           }));
}

void frmMain::showCacheProblem(const QString& text)
{
    if (text == m_cacheProblem)
        return;
    m_cacheProblem = text;
    // The status row appears with the first problem; a window without one keeps its layout.
    if (!text.isEmpty()) {
        statusBar()->setAccessibleName(QStringLiteral("Status"));
        statusBar()->showMessage(text);
    } else if (auto* bar = findChild<QStatusBar*>()) {
        bar->clearMessage();
    }
}

void frmMain::buildUi()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);

    fmeSpeed = named(new QGroupBox(QStringLiteral("Speed"), central), QStringLiteral("fmeSpeed"));
    Label5 = figureLabel(QStringLiteral("Label5"), QStringLiteral("Velocity in Feet Per Second"), fmeSpeed);
    Label7 = named(new QLabel(QStringLiteral("fps"), fmeSpeed), QStringLiteral("Label7"));
    optSpeed = new OptionGroup(this);
    optSpeed->setObjectName(QStringLiteral("optSpeed"));
    optSpeed->add(1, QStringLiteral("fps"), fmeSpeed)
        ->setToolTip(QStringLiteral("Set speed display to feet per second"));
    optSpeed->add(2, QStringLiteral("m/s"), fmeSpeed)
        ->setToolTip(QStringLiteral("Set speed display to meters per second"));
    auto* speedLayout = new QGridLayout(fmeSpeed);
    speedLayout->addWidget(new FigureHolder(Label5, fmeSpeed), 0, 0, 2, 1);
    speedLayout->addWidget(Label7, 0, 1);
    speedLayout->addWidget((*optSpeed)[1], 0, 2);
    speedLayout->addWidget((*optSpeed)[2], 1, 2);

    fmePower = named(new QGroupBox(QStringLiteral("Power"), central), QStringLiteral("fmePower"));
    Label3 = figureLabel(QStringLiteral("Label3"), QStringLiteral("Power in Ft.Lbf"), fmePower);
    Label4 = named(new QLabel(QStringLiteral("Ft.Lbf"), fmePower), QStringLiteral("Label4"));
    optPower = new OptionGroup(this);
    optPower->setObjectName(QStringLiteral("optPower"));
    optPower->add(1, QStringLiteral("Ft.Lbf"), fmePower)
        ->setToolTip(QStringLiteral("Set power display to foot pounds"));
    optPower->add(2, QStringLiteral("joules"), fmePower)->setToolTip(QStringLiteral("Set power display to joules"));
    optPower->add(3, QStringLiteral("IPSC-factor"), fmePower);
    auto* powerLayout = new QGridLayout(fmePower);
    powerLayout->addWidget(new FigureHolder(Label3, fmePower), 0, 0, 3, 1);
    powerLayout->addWidget(Label4, 0, 1);
    powerLayout->addWidget((*optPower)[1], 0, 2);
    powerLayout->addWidget((*optPower)[2], 1, 2);
    powerLayout->addWidget((*optPower)[3], 2, 2);

    btnMax = namedButton(QStringLiteral("btnMax"), QStringLiteral("Power"),
                         QStringLiteral("Undock the Power and Speed panel"), central);

    lblChrono = named(new ClickableLabel(QStringLiteral("Chronograph:"), central), QStringLiteral("lblChrono"));
    lblGun = named(new ClickableLabel(QStringLiteral("Gun:"), central), QStringLiteral("lblGun"));
    lblProjectile = named(new ClickableLabel(QStringLiteral("Projectile:"), central), QStringLiteral("lblProjectile"));
    lblChrono->setToolTip(QStringLiteral("Change Chronograph Settings"));
    lblGun->setToolTip(QStringLiteral("Change Gun Settings"));
    lblProjectile->setToolTip(QStringLiteral("Change Projectile Settings"));
    for (QLabel* l :
         {static_cast<QLabel*>(lblChrono), static_cast<QLabel*>(lblGun), static_cast<QLabel*>(lblProjectile)}) {
        l->setCursor(Qt::PointingHandCursor);
        QFont f = l->font();
        f.setUnderline(true);
        l->setFont(f);
    }
    lblSelChrono = named(new QLabel(QStringLiteral("Chronograph:"), central), QStringLiteral("lblSelChrono"));
    lblSelGun = named(new QLabel(QStringLiteral("Gun:"), central), QStringLiteral("lblSelGun"));
    lblSelProjectile = named(new QLabel(QStringLiteral("Projectile:"), central), QStringLiteral("lblSelProjectile"));

    MSFlexGrid1 = named(new FlexGrid(central), QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->setToolTip(QStringLiteral("Select Shot number to delete"));
    MSFlexGrid1->setAccessibleName(QStringLiteral("Shots"));
    MSFlexGrid1->setFormatString(kShotTableFormat);
    MSFlexGrid1->setMinimumHeight(140);
    MSFlexGrid2 = named(new FlexGrid(central), QStringLiteral("MSFlexGrid2"));
    MSFlexGrid2->setToolTip(QStringLiteral("Summary data of all shots"));
    MSFlexGrid2->setAccessibleName(QStringLiteral("Summary"));
    MSFlexGrid2->setFormatString(kSummaryFormat);
    MSFlexGrid2->setFixedHeight(MSFlexGrid2->horizontalHeader()->sizeHint().height() +
                                MSFlexGrid2->verticalHeader()->defaultSectionSize() + 6);
    MSFlexGrid2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MSFlexGrid2->setSelectionMode(QAbstractItemView::NoSelection);
    Text1 = named(new ListText(central), QStringLiteral("Text1"));
    Text1->setToolTip(QStringLiteral("Displays each shot in the current streams as a CSV List"));
    Text1->setAccessibleName(QStringLiteral("CSV List"));
    Text1->setMinimumHeight(90);

    btnSave = namedButton(QStringLiteral("btnSave"), QStringLiteral("Save Capture"),
                          QStringLiteral("Save the current shot stream as a CSV"), central);
    btnReset = namedButton(QStringLiteral("btnReset"), QStringLiteral("Clear Capture"),
                           QStringLiteral("Clear the current shot stream"), central);
    btnDelete = namedButton(QStringLiteral("btnDelete"), QStringLiteral("Delete Shot"),
                            QStringLiteral("Delete the selected shot"), central);
    btnDump = namedButton(QStringLiteral("btnDump"), QStringLiteral("Chrony Status"),
                          QStringLiteral("Dump data from Chronograph into Velmora"), central);

    auto* figures = new QHBoxLayout;
    figures->addWidget(fmeSpeed, 1);
    figures->addWidget(fmePower, 1);
    figures->addWidget(btnMax, 0, Qt::AlignTop);

    auto* selections = new QGridLayout;
    selections->addWidget(lblChrono, 0, 0);
    selections->addWidget(lblSelChrono, 0, 1);
    selections->addWidget(lblGun, 1, 0);
    selections->addWidget(lblSelGun, 1, 1);
    selections->addWidget(lblProjectile, 2, 0);
    selections->addWidget(lblSelProjectile, 2, 1);
    selections->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnSave, btnReset, btnDelete, btnDump})
        buttons->addWidget(b);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(central);
    layout->addLayout(figures);
    layout->addLayout(selections);
    layout->addWidget(MSFlexGrid1, 3);
    layout->addWidget(MSFlexGrid2);
    layout->addWidget(Text1, 1);
    layout->addLayout(buttons);

    mnuViewMenu = menuBar()->addMenu(QStringLiteral("&Menu"));
    mnuViewMenu->setObjectName(QStringLiteral("mnuViewMenu"));
    mnuSettings = mnuViewMenu->addAction(QStringLiteral("&Chrono Settings"));
    mnuPelletSettings = mnuViewMenu->addAction(QStringLiteral("&Pellet Settings"));
    mnuExit = mnuViewMenu->addAction(QStringLiteral("&Exit"));
    mnuSettings->setObjectName(QStringLiteral("mnuSettings"));
    mnuPelletSettings->setObjectName(QStringLiteral("mnuPelletSettings"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    mnuViewMenu->addSeparator();
    mnuChart = mnuViewMenu->addAction(QStringLiteral("C&hart"));
    mnuHistory = mnuViewMenu->addAction(QStringLiteral("&History"));
    mnuChart->setObjectName(QStringLiteral("mnuChart"));
    mnuHistory->setObjectName(QStringLiteral("mnuHistory"));

    followUnitOptions();
    connect(optSpeed, &OptionGroup::clicked, this, guarded(this, &frmMain::optSpeed_Click));
    connect(optPower, &OptionGroup::clicked, this, guarded(this, &frmMain::optPower_Click));
    connect(btnReset, &QPushButton::clicked, this, guarded(this, &frmMain::btnReset_Click));
    connect(btnSave, &QPushButton::clicked, this, guarded(this, &frmMain::btnSave_Click));
    connect(btnMax, &QPushButton::clicked, this, guarded(this, &frmMain::btnMax_Click));
    connect(btnDelete, &QPushButton::clicked, this, guarded(this, &frmMain::btnDelete_Click));
    connect(btnDump, &QPushButton::clicked, this, guarded(this, &frmMain::btnDump_Click));
    connect(lblChrono, &ClickableLabel::clicked, this, guarded(this, &frmMain::lblChrono_Click));
    connect(mnuSettings, &QAction::triggered, this, guarded(this, &frmMain::lblChrono_Click));
    connect(lblGun, &ClickableLabel::clicked, this, guarded(this, &frmMain::lblGun_Click));
    connect(lblProjectile, &ClickableLabel::clicked, this, guarded(this, &frmMain::lblProjectile_Click));
    connect(mnuPelletSettings, &QAction::triggered, this, guarded(this, &frmMain::lblProjectile_Click));
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);
    connect(mnuChart, &QAction::triggered, this, guarded([this] { history().showChart(); }));
    connect(mnuHistory, &QAction::triggered, this, guarded([this] { history().showHistory(); }));

    resize(900, 640);
}

frmOptions& frmMain::options()
{
    if (!m_options)
        m_options = std::make_unique<frmOptions>(*this);
    return *m_options;
}

frmPellet& frmMain::pellet()
{
    if (!m_pellet) {
        m_pellet = std::make_unique<frmPellet>(*this);
        connect(m_pellet->optType, &OptionGroup::clicked, this,
                guarded([this] { m_string->setUnits(stringUnits()); }));
    }
    return *m_pellet;
}

QString frmMain::lineSettingsFor(int chronoType)
{
    if (chronoType == 1)
        return QStringLiteral("4800,n,8,1");
    if (chronoType == 4)
        return QStringLiteral("1200,n,8,1");
    return QStringLiteral("9600,n,8,1");
}

QString frmMain::weightWord()
{
    return pellet().selWeight->isSelected(0) ? QStringLiteral("Grammes") : QStringLiteral("Grains");
}

bool frmMain::PlayWAV(const QString& fileName, bool SyncExec)
{
    return m_services.sound && m_services.sound->play(fileName, SyncExec);
}

void frmMain::SetScreenSaverActive(bool active)
{
    if (m_services.screenSaver)
        m_services.screenSaver->setActive(active);
}

void frmMain::UpdateGunLabel()
{
    if (!m_pellet)
        return;
    // A label without a buddy shows "&" as it stands: the text goes in as typed.
    lblSelGun->setText(pellet().txtMake->text() + u' ' + pellet().txtModel->text());
}

void frmMain::UpdateProjectileLabel()
{
    if (!m_pellet)
        return; // still loading: the restored values refresh the caption
    frmPellet& p = pellet();
    lblSelProjectile->setText(p.txtPelletMake->text() + u' ' + p.txtCaliber->text() + QStringLiteral(" - ") +
                              p.txtWeight->text() +
                              (p.selWeight->isSelected(0) ? QStringLiteral(" Grammes") : QStringLiteral(" Grains")));
}

void frmMain::UpdateChronoLabel()
{
    for (int i = 1; i <= 4; ++i) {
        if (options().chronoType->isSelected(i)) {
            lblSelChrono->setText((*options().chronoType)[i]->text());
            return;
        }
    }
}

void frmMain::btnDump_Click()
{
    frmOptions& o = options();
    if (o.chronoType->isSelected(1) && m_session->MSComm1->PortOpen()) {
        setEnabled(false);
        openChronyExtras(*this);
    } else if (o.chronoType->isSelected(3) && !m_session->disableHID && hid().Connected()) {
        setEnabled(false);
        openCedStatus(*this);
    } else if (o.chronoType->isSelected(4) && m_session->MSComm1->PortOpen()) {
        setEnabled(false);
        openProChronoExtras(*this);
    } else {
        m_services.prompt->message(QStringLiteral(
            "Velmora does not appear to be connected to a chronograph.  Please configure your chronograph options."));
    }
}

void frmMain::lblChrono_Click()
{
    options().openDialog();
}

void frmMain::lblGun_Click()
{
    setEnabled(false);
    pellet().showWithFocus(pellet().txtMake);
}

void frmMain::lblProjectile_Click()
{
    setEnabled(false);
    pellet().showWithFocus(pellet().txtPelletMake);
}

void frmMain::Timer1_Timer()
{
    if (m_session->echoed_data)
        return;
    m_session->strReceivedAll.clear();
    if (MSFlexGrid1->Rows() < 2) {
        btnReset->setEnabled(false);
        btnSave->setEnabled(false);
        btnDelete->setEnabled(false);
    }
}
