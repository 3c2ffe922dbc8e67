#include "frm_chrony_extras.h"

#include "drivers/chrony_memory.h"
#include "drivers/comm_port.h"
#include "main_window/frm_main.h"
#include "services/app_error.h"
#include "services/clock.h"
#include "services/event_guard.h"
#include "services/prompt.h"
#include "services/regional.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

frmChronyExtras::frmChronyExtras(frmMain& main) : ClosingDialog(&main), m_main(main)
{
    setObjectName(QStringLiteral("frmChronyExtras"));
    setWindowTitle(QStringLiteral("Chrony Status"));
    setAttribute(Qt::WA_DeleteOnClose);
    fmeChrony = new QGroupBox(QStringLiteral("Chrony Status"), this);
    fmeChrony->setObjectName(QStringLiteral("fmeChrony"));
    lstString = new QComboBox(fmeChrony);
    lstString->setObjectName(QStringLiteral("lstString"));
    lstString->setPlaceholderText(QStringLiteral("String"));
    lstString->setAccessibleName(QStringLiteral("String")); // also before a string is chosen
    lstString->setToolTip(QStringLiteral("Select a string stored in the Chrony to dump to Velmora"));
    txtStoredStrings = new QLineEdit(QStringLiteral("0"), fmeChrony);
    txtStoredStrings->setObjectName(QStringLiteral("txtStoredStrings"));
    txtStoredStrings->setToolTip(QStringLiteral("Number of shot strings stored in Chrony Memory"));
    txtStoredStrings->setReadOnly(true);
    txtChronyOutput = new QPlainTextEdit(fmeChrony);
    txtChronyOutput->setObjectName(QStringLiteral("txtChronyOutput"));
    txtChronyOutput->setReadOnly(true);
    QFont courier(QStringLiteral("Courier"));
    courier.setStyleHint(QFont::TypeWriter);
    txtChronyOutput->setFont(courier);
    btnDumpAll = new QPushButton(QStringLiteral("Dump String"), fmeChrony);
    btnDumpAll->setObjectName(QStringLiteral("btnDumpAll"));
    btnDumpAll->setToolTip(QStringLiteral("This will dump the current selected string to Velmora."));
    btnDumpAll->setEnabled(false);
    btnClear = new QPushButton(QStringLiteral("Clear Chrony"), fmeChrony);
    btnClear->setObjectName(QStringLiteral("btnClear"));

    auto* grid = new QGridLayout(fmeChrony);
    auto* storedLabel = new QLabel(QStringLiteral("Strings stored:"), fmeChrony);
    storedLabel->setBuddy(txtStoredStrings);
    grid->addWidget(storedLabel, 0, 0);
    grid->addWidget(txtStoredStrings, 0, 1);
    grid->addWidget(lstString, 0, 2);
    grid->addWidget(txtChronyOutput, 1, 0, 1, 3);
    grid->addWidget(btnDumpAll, 2, 1);
    grid->addWidget(btnClear, 2, 2);
    (new QVBoxLayout(this))->addWidget(fmeChrony);
    txtChronyOutput->setAccessibleName(fmeChrony->title());
    chainTabOrder({txtStoredStrings, lstString, txtChronyOutput, btnDumpAll, btnClear});

    connect(lstString, &QComboBox::activated, this, guarded(this, &frmChronyExtras::lstString_Click));
    connect(btnDumpAll, &QPushButton::clicked, this, guarded(this, &frmChronyExtras::btnDumpAll_Click));
    connect(btnClear, &QPushButton::clicked, this, guarded(this, &frmChronyExtras::btnClear_Click));
}

namespace {
const QString kCommunicationError = QStringLiteral(
    "There has been an error communicating with the Chrony.  Please check your COM port settings and try again.");
}

void frmChronyExtras::send(const QString& command)
{
    // After "X.END" the device is in live mode and must stay there, whatever a handler still does.
    if (closingStepsRan())
        AppError::raise(AppError::PortNotOpen);
    m_main.MSComm1->setOutput(command);
}

void frmChronyExtras::sendMoves(int from, int to)
{
    int at = from;
    for (const QString& move : chrony_memory::pointerMoves(from, to)) {
        send(move);
        // Where the device's pointer is after each move, so that a failure half way leaves the
        // closing steps a true starting point.
        at += to < from ? -1 : 1;
        strLastString = QString::number(at);
        m_main.services().sleeper->sleep(150);
    }
}

void frmChronyExtras::communicationFailed()
{
    if (!closingStepsRan())
        m_main.services().prompt->message(kCommunicationError);
}

void frmChronyExtras::Form_Load()
{
    try {
        setOutput(QString());
        m_main.chrony_data = true;
        m_main.Timer1->stop();
        lastChronyCommand = QStringLiteral("SYSX");
        send(QStringLiteral("SYSX"));
        m_main.services().sleeper->sleep(1500);
        m_main.strReceivedAll.clear();
        lastChronyCommand = QStringLiteral("X.QRY");
        send(QStringLiteral("X.QRY"));
    } catch (const std::exception&) {
        // No query is under way: received characters take the live path again.
        m_main.chrony_data = false;
        communicationFailed();
    }
}

void frmChronyExtras::setOutput(const QString& text)
{
    m_output = text;
    txtChronyOutput->setPlainText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
}

void frmChronyExtras::appendOutput(const QString& text)
{
    setOutput(m_output + text);
    txtChronyOutput_Change();
}

void frmChronyExtras::txtChronyOutput_Change()
{
    const QString text = m_output;
    if (text.contains(chrony_memory::kOk)) {
        if (lastChronyCommand != QLatin1String("X.GEE")) {
            int stored = -1;
            for (const chrony_memory::ReplyLine& line : chrony_memory::parseReply(text)) {
                if (line.kind == chrony_memory::ReplyLine::Strings) {
                    stored = line.number;
                    txtStoredStrings->setText(QString::number(stored));
                    const QSignalBlocker quiet(lstString);
                    for (int j = 1; j <= stored; ++j)
                        lstString->addItem(QString::number(j));
                    lstString->setCurrentIndex(-1);
                } else {
                    strLastString = QString::number(line.number);
                    queriedString = qint16(line.number);
                    if (stored >= 0 && line.number < stored + 1 && line.number >= 1 &&
                        line.number <= lstString->count()) {
                        lstString->setCurrentIndex(line.number - 1);
                        lstString_Click();
                    }
                }
            }
            m_main.chrony_data = false;
            btnClear->setEnabled(true);
        } else {
            m_main.services().prompt->message(QStringLiteral("All Shots now cleared."));
            setOutput(QString());
            lastChronyCommand = QStringLiteral("X.QRY");
            try {
                send(QStringLiteral("X.QRY"));
            } catch (const std::exception&) {
                m_main.chrony_data = false;
                communicationFailed();
            }
        }
    }
    if (regional::leadingNumber(txtStoredStrings->text()) == 0 && queriedString == 1) {
        txtStoredStrings->setText(QStringLiteral("1"));
        lstString->addItem(QStringLiteral("1"));
    }
}

void frmChronyExtras::lstString_Click()
{
    try {
        const int sel = int(regional::leadingNumber(lstString->currentText()));
        btnDumpAll->setEnabled(false);
        btnDumpAll->setText(QStringLiteral("Dump String ") + QString::number(sel));
        const int cur = int(regional::leadingNumber(strLastString));
        if (cur != 0) {
            if (sel != cur) {
                sendMoves(cur, sel);
                strLastString = QString::number(sel);
            }
            lastChronyCommand = QStringLiteral("X.CPY");
            send(QStringLiteral("X.CPY"));
        }
    } catch (const std::exception&) {
        communicationFailed();
    }
    if (!closingStepsRan())
        btnDumpAll->setEnabled(true);
}

void frmChronyExtras::btnDumpAll_Click()
{
    try {
        btnDumpAll->setEnabled(false);
        m_main.strReceivedAll.clear();
        lastChronyCommand = QStringLiteral("X.GRM");
        send(QStringLiteral("X.GRM"));
    } catch (const std::exception&) {
        communicationFailed();
    }
    if (!closingStepsRan())
        btnDumpAll->setEnabled(true);
}

void frmChronyExtras::btnClear_Click()
{
    const QString question = QStringLiteral(
        "This option will clear ALL shots and strings from your Chrony's memory.\r\n                  It will NOT "
        "dump the shots before it clears. \r\n\r\n            Are you sure you want to clear the Chrony's memory?");
    // The window may have been closed while the question was open.
    if (!m_main.services().prompt->confirm(question) || closingStepsRan())
        return;
    try {
        btnClear->setEnabled(false);
        btnDumpAll->setEnabled(false);
        lstString->setEnabled(false);
        setOutput(QString());
        m_main.chrony_data = true;
        lastChronyCommand = QStringLiteral("X.GEE");
        send(QStringLiteral("X.GEE"));
    } catch (const std::exception&) {
        // Nothing was cleared: the window is as it was before the question.
        m_main.chrony_data = false;
        btnClear->setEnabled(true);
        lstString->setEnabled(true);
        btnDumpAll->setEnabled(lstString->currentIndex() >= 0);
        communicationFailed();
    }
}

bool frmChronyExtras::unload()
{
    btnDumpAll->setEnabled(false);
    try {
        const int orig = queriedString;
        const int cur = int(regional::leadingNumber(strLastString));
        if (cur != 0)
            sendMoves(cur, orig);
        if (m_main.MSComm1->PortOpen()) {
            m_main.services().sleeper->sleep(100);
            lastChronyCommand = QStringLiteral("X.END");
            send(QStringLiteral("X.END"));
        }
    } catch (const std::exception&) {
    }
    // The exchange ends with the window, however far it got: received characters take the live
    // path again, and a reply cut short is not joined to the next live line.
    m_main.chrony_data = false;
    m_main.strReceivedAll.clear();
    m_main.setEnabled(true);
    m_main.Timer1->start();
    return true;
}
