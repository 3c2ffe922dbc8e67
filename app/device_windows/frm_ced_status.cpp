#include "frm_ced_status.h"

#include "capture/capture_session.h"
#include "main_window/frm_main.h"
#include "services/event_guard.h"
#include "services/prompt.h"
#include "services/regional.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>

frmCEDStatus::frmCEDStatus(frmMain& main) : ClosingDialog(&main), m_main(main), m_dump(main.session().cedDump())
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
    connect(&m_dump, &CedDumpExchange::shotListed, this, &frmCEDStatus::showShot);
    connect(&m_dump, &CedDumpExchange::dumpEnded, this, [this] { setEnabled(true); });
}

QString frmCEDStatus::listingLine(int string, int shot, double fps)
{
    return QStringLiteral("String:") + QString::number(string) + u' ' + QStringLiteral("Shot:") +
           QString::number(shot) + QStringLiteral(" = ") + regional::format2(fps) + QStringLiteral(" fps\r\n");
}

bool frmCEDStatus::Form_Load()
{
    QPointer<frmCEDStatus> self(this);
    if (m_main.session().disableHID) {
        m_main.services().prompt->message(QStringLiteral("CED Not Supported on this machine."));
        if (self)
            close();
        return false;
    }
    if (!m_dump.begin()) {
        m_main.services().prompt->message(QStringLiteral("Cannot connect to CED. :("), Prompt::Icon::None,
                                          QStringLiteral("Error"));
        if (self)
            close();
        return false;
    }
    const int strings = m_dump.strings();
    lstString->clear();
    for (int s = 1; s <= strings; ++s)
        lstString->addItem(QString::number(s));
    lstString->setCurrentIndex(-1);
    return true;
}

void frmCEDStatus::lstString_Click()
{
    btnDump1->setEnabled(true);
    btnDump1->setText(QStringLiteral("Dump String ") + lstString->currentText());
}

void frmCEDStatus::showShot(int string, int shot, double fps)
{
    Text1->appendPlainText(listingLine(string, shot, fps).chopped(2));
    Text1->verticalScrollBar()->setValue(Text1->verticalScrollBar()->maximum());
}

void frmCEDStatus::btnDump1_Click()
{
    setEnabled(false);
    m_dump.dumpString(int(regional::leadingNumber(lstString->currentText())));
}

void frmCEDStatus::btnDumpAll_Click()
{
    setEnabled(false);
    const QString question = QStringLiteral(
        "The program may appear to be unresponsive while downloading a large number of shots. Please be patient. A "
        "500 shot memory may take up to a minute. \r\n\r\nContinue?");
    QPointer<frmCEDStatus> self(this);
    const bool yes = m_main.services().prompt->confirm(question);
    // Closed while the question was open: the exchange has ended the visit.
    if (!self || closingStepsRan())
        return;
    if (!yes) {
        setEnabled(true);
        return;
    }
    m_dump.dumpAll();
}

bool frmCEDStatus::unload()
{
    if (!m_main.session().disableHID)
        btnDump1->setEnabled(false);
    m_dump.end();
    return true;
}
