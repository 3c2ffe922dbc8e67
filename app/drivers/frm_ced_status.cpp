#include "frm_ced_status.h"

#include "drivers/ced_driver.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/option_group.h"
#include "services/event_guard.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "shot/ballistics.h"
#include "shot/record_shot.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

frmCEDStatus::frmCEDStatus(frmMain& main) : ClosingDialog(&main), m_main(main)
{
    setObjectName(QStringLiteral("frmCEDStatus"));
    setWindowTitle(QStringLiteral("CED String Dump"));
    setAttribute(Qt::WA_DeleteOnClose);
    lstString = new QComboBox(this);
    lstString->setObjectName(QStringLiteral("lstString"));
    lstString->setPlaceholderText(QStringLiteral("String"));
    lstString->setAccessibleName(QStringLiteral("String")); // also before a string is chosen
    lstString->setToolTip(QStringLiteral("Select a string stored in the CED to dump to Velmora"));
    btnDump1 = new QPushButton(QStringLiteral("<<  Dump String"), this);
    btnDump1->setObjectName(QStringLiteral("btnDump1"));
    btnDump1->setToolTip(QStringLiteral("Dump the selected string to Velmora"));
    btnDump1->setEnabled(false);
    btnDumpAll = new QPushButton(QStringLiteral("Dump All"), this);
    btnDumpAll->setObjectName(QStringLiteral("btnDumpAll"));
    btnDumpAll->setToolTip(QStringLiteral("Dump ALL shots stored in the CED to Velmora"));
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setAccessibleName(QStringLiteral("Dumped shots"));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::TypeWriter);
    Text1->setFont(courier);
    auto* layout = new QGridLayout(this);
    layout->addWidget(Text1, 0, 0, 3, 1);
    layout->addWidget(lstString, 0, 1);
    layout->addWidget(btnDump1, 1, 1);
    layout->addWidget(btnDumpAll, 2, 1, Qt::AlignTop);
    resize(480, 300);
    connect(lstString, &QComboBox::activated, this, guarded(this, &frmCEDStatus::lstString_Click));
    connect(btnDump1, &QPushButton::clicked, this, guarded(this, &frmCEDStatus::btnDump1_Click));
    connect(btnDumpAll, &QPushButton::clicked, this, guarded(this, &frmCEDStatus::btnDumpAll_Click));
}

QString frmCEDStatus::listingLine(int string, int shot, double fps)
{
    return QStringLiteral("String:") + QString::number(string) + u' ' + QStringLiteral("Shot:") +
           QString::number(shot) + QStringLiteral(" = ") + regional::format2(fps) + QStringLiteral(" fps\r\n");
}

bool frmCEDStatus::Form_Load()
{
    if (m_main.disableHID) {
        m_main.services().prompt->message(QStringLiteral("CED Not Supported on this machine."));
        close();
        return false;
    }
    m_main.timerCED->stop();
    m_main.ced.cedCurrentString = 0;
    m_main.ced.cedShotCount = 0;
    m_main.ced.cedReadFailed = true;
    if (!m_main.hid().Connected()) {
        m_main.services().prompt->message(QStringLiteral("Cannot connect to CED. :("), Prompt::Icon::None,
                                          QStringLiteral("Error"));
        close();
        return false;
    }
    m_main.ced.cedNewShot = false;
    cedQueryStatus(m_main);
    lstString->clear();
    for (int s = 1; s <= m_main.ced.cedCurrentString; ++s)
        lstString->addItem(QString::number(s));
    lstString->setCurrentIndex(-1);
    return true;
}

void frmCEDStatus::lstString_Click()
{
    btnDump1->setEnabled(true);
    btnDump1->setText(QStringLiteral("Dump String ") + lstString->currentText());
}

void frmCEDStatus::dumpString(int string)
{
    CedState& ced = m_main.ced;
    ced.cedShotCount = 0;
    cedQueryShotCount(m_main, string);
    for (int k = 1; k <= ced.cedShotCount; ++k) {
        const double v = cedReadVelocity(m_main, string, k);
        Text1->appendPlainText(listingLine(string, k, v).chopped(2));
        Text1->verticalScrollBar()->setValue(Text1->verticalScrollBar()->maximum());
        RecordDumpedShot(m_main, v);
    }
}

void frmCEDStatus::btnDump1_Click()
{
    setEnabled(false);
    try {
        if (m_main.hid().Connected()) {
            m_main.ced.cedNewShot = false;
            dumpString(int(regional::leadingNumber(lstString->currentText())));
        }
    } catch (const std::exception&) {
    }
    finish(m_main.last_fps);
}

void frmCEDStatus::btnDumpAll_Click()
{
    setEnabled(false);
    const QString question = QStringLiteral(
        "The program may appear to be unresponsive while downloading a large number of shots. Please be patient. A "
        "500 shot memory may take up to a minute. \r\n\r\nContinue?");
    if (!m_main.services().prompt->confirm(question)) {
        setEnabled(true);
        return;
    }
    // Closed while the question was open: the poll owns the device again.
    if (closingStepsRan())
        return;
    try {
        if (m_main.hid().Connected()) {
            m_main.ced.cedNewShot = false;
            cedQueryStatus(m_main);
            for (int s = 1; s <= m_main.ced.cedCurrentString; ++s)
                dumpString(s);
        }
    } catch (const std::exception&) {
    }
    finish(m_main.last_fps);
}

void frmCEDStatus::finish(double lastVelocity)
{
    try {
        m_main.updateTotals();
    } catch (const std::exception&) {
    }
    const double shown = m_main.optSpeed->isSelected(1) ? lastVelocity : lastVelocity * ballistics::kMetresPerFoot;
    m_main.Label5->setText(regional::format2(shown));
    m_main.btnSave->setEnabled(true);
    m_main.btnReset->setEnabled(true);
    m_main.btnDelete->setEnabled(true);
    m_main.echoed_data = true;
    setEnabled(true);
}

bool frmCEDStatus::unload()
{
    if (!m_main.disableHID) {
        btnDump1->setEnabled(false);
        m_main.ced.cedSkipNext = true;
    }
    m_main.setEnabled(true);
    if (m_main.hid().Connected()) {
        // Skipping "the next reading" could drop a new shot or miss the string's count after a
        // dump of another string; taking the device's present state as the baseline does neither.
        event_guard::run("CED String Dump", [this] { cedResynchronise(m_main); });
        // The exchange may have found the connection lost and stopped the poll for good.
        if (m_main.hid().Connected())
            m_main.timerCED->start();
    }
    return true;
}
