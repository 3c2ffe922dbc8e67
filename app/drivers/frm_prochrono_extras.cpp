#include "frm_prochrono_extras.h"

#include "drivers/comm_port.h"
#include "drivers/frm_options.h"
#include "drivers/prochrono_link.h"
#include "drivers/prochrono_protocol.h"
#include "main_window/frm_main.h"
#include "services/app_error.h"
#include "services/clock.h"
#include "services/event_guard.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "shot/record_shot.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

frmProChronoExtras::frmProChronoExtras(frmMain& main) : ClosingDialog(&main), m_main(main)
{
    setObjectName(QStringLiteral("frmProChronoExtras"));
    setWindowTitle(QStringLiteral("ProChrono Remote Functions"));
    setAttribute(Qt::WA_DeleteOnClose);
    txtPCString = new QLineEdit(QStringLiteral("0"), this);
    txtPCString->setObjectName(QStringLiteral("txtPCString"));
    txtPCString->setReadOnly(true);
    txtPCShots = new QLineEdit(QStringLiteral("0"), this);
    txtPCShots->setObjectName(QStringLiteral("txtPCShots"));
    txtPCShots->setReadOnly(true);
    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    btnDumpString = button("btnDumpString", QStringLiteral("Dump String"));
    btnDeleteString = button("btnDeleteString", QStringLiteral("Delete String"));
    btnChangeString = button("btnChangeString", QStringLiteral("Change String"));
    btnClose = button("btnClose", QStringLiteral("Close"));
    auto* layout = new QGridLayout(this);
    auto* stringLabel = new QLabel(QStringLiteral("String"), this);
    stringLabel->setBuddy(txtPCString);
    auto* shotsLabel = new QLabel(QStringLiteral("Shots"), this);
    shotsLabel->setBuddy(txtPCShots);
    layout->addWidget(stringLabel, 0, 0);
    layout->addWidget(txtPCString, 0, 1);
    layout->addWidget(shotsLabel, 1, 0);
    layout->addWidget(txtPCShots, 1, 1);
    layout->addWidget(btnChangeString, 0, 2);
    layout->addWidget(btnDeleteString, 1, 2);
    layout->addWidget(btnDumpString, 2, 2);
    layout->addWidget(btnClose, 3, 2);
    chainTabOrder({txtPCString, btnChangeString, txtPCShots, btnDeleteString, btnDumpString, btnClose});
    connect(btnChangeString, &QPushButton::clicked, this, guarded(this, &frmProChronoExtras::btnChangeString_Click));
    connect(btnDeleteString, &QPushButton::clicked, this, guarded(this, &frmProChronoExtras::btnDeleteString_Click));
    connect(btnDumpString, &QPushButton::clicked, this, guarded(this, &frmProChronoExtras::btnDumpString_Click));
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    setEscapeButton(btnClose);
}

namespace {
const QString kCommunicationError = QStringLiteral(
    "There has been an error communicating with the ProChrono.  Please check your COM port settings and try again.");
}

void frmProChronoExtras::send(const QString& frame)
{
    // Once closed, the port belongs to the live poll again.
    if (closingStepsRan())
        AppError::raise(AppError::PortNotOpen);
    m_main.MSComm1->setOutput(frame);
}

void frmProChronoExtras::communicationFailed()
{
    if (!closingStepsRan())
        m_main.services().prompt->message(kCommunicationError);
}

void frmProChronoExtras::wait(int ms)
{
    m_main.services().sleeper->sleep(ms);
}

void frmProChronoExtras::Form_Load()
{
    try {
        m_main.prochrono_data = true;
        m_main.Timer1->stop();
        m_main.TimerProChrono->stop();
        m_main.proChrono.expectedReply = 3;
        setInputLength(*m_main.MSComm1, 15);
        wait(200);
        send(prochrono::kStatusQuery);
        wait(600);
    } catch (const std::exception&) {
        communicationFailed();
    }
}

void frmProChronoExtras::receive(const QString& x)
{
    ProChronoState& state = m_main.proChrono;
    if (state.expectedReply == 1) {
        recordProChronoBlock(prochrono::lastPieces(x, 30));
    } else if (state.expectedReply == 3) {
        const QStringList pieces = prochrono::lastPieces(x, 14);
        if (pieces.size() < 3 || pieces[1].size() != 2 || pieces[2].size() != 2)
            AppError::raise(9);
        state.currentString = qint16(prochrono::hexValue(pieces[1]));
        txtPCString->setText(QString::number(state.currentString));
        state.shotsInCurrentString = qint16(prochrono::hexValue(pieces[2]));
        txtPCShots->setText(QString::number(state.shotsInCurrentString));
    }
}

void frmProChronoExtras::recordProChronoBlock(const QStringList& pieces)
{
    const double calibration = regional::toNumberOrFail(m_main.options().txtCalibration->text());
    for (double v : prochrono::blockVelocities(pieces, calibration))
        RecordShot(m_main, v);
}

void frmProChronoExtras::btnChangeString_Click()
{
    try {
        m_main.proChrono.expectedReply = 5;
        send(prochrono::kChangeString);
        wait(1000);
        setInputLength(*m_main.MSComm1, 15);
        wait(200);
        m_main.proChrono.expectedReply = 3;
        send(prochrono::kStatusQuery);
        wait(600);
    } catch (const std::exception&) {
        communicationFailed();
    }
}

void frmProChronoExtras::btnDeleteString_Click()
{
    try {
        const QString question =
            QStringLiteral("This option will clear string ") + QString::number(m_main.proChrono.currentString) +
            QStringLiteral(" from your ProChrono's memory.\r\n               It will NOT dump the shots before it "
                           "clears. \r\n\r\n            Are you sure you want to clear this string?");
        const bool yes = m_main.services().prompt->confirm(question);
        // Closed while the question was open: the port is back in live mode and stays so.
        if (closingStepsRan())
            return;
        if (yes) {
            send(prochrono::kDeleteString);
            wait(1000);
        }
        setInputLength(*m_main.MSComm1, 15);
        m_main.proChrono.expectedReply = 3;
        send(prochrono::kStatusQuery);
    } catch (const std::exception&) {
        communicationFailed();
    }
}

void frmProChronoExtras::btnDumpString_Click()
{
    try {
        const QStringList frames =
            prochrono::dumpFrames(m_main.proChrono.currentString, m_main.proChrono.shotsInCurrentString);
        setInputLength(*m_main.MSComm1, 31);
        for (const QString& frame : frames) {
            m_main.proChrono.expectedReply = 1;
            send(frame);
            wait(300);
        }
    } catch (const std::exception&) {
        communicationFailed();
    }
}

bool frmProChronoExtras::unload()
{
    try {
        setInputLength(*m_main.MSComm1, 1);
    } catch (const std::exception&) {
    }
    m_main.setEnabled(true);
    m_main.prochrono_data = false;
    m_main.strReceivedAll.clear();
    m_main.Timer1->start();
    m_main.TimerProChrono->start();
    return true;
}
