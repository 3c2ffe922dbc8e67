#include "frm_prochrono_extras.h"

#include "capture/capture_session.h"
#include "capture/prochrono_remote.h"
#include "main_window/frm_main.h"
#include "services/event_guard.h"
#include "services/prompt.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

frmProChronoExtras::frmProChronoExtras(frmMain& main)
    : ClosingDialog(&main), m_exchange(main.session().proChronoRemote()), m_prompt(*main.services().prompt)
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
    connect(&m_exchange, &ProChronoRemoteExchange::statusRead, this, &frmProChronoExtras::showStatus);
}

void frmProChronoExtras::Form_Load()
{
    m_exchange.begin();
}

void frmProChronoExtras::showStatus(int currentString, int shotsInString)
{
    txtPCString->setText(QString::number(currentString));
    txtPCShots->setText(QString::number(shotsInString));
}

void frmProChronoExtras::btnChangeString_Click()
{
    m_exchange.changeString();
}

void frmProChronoExtras::btnDeleteString_Click()
{
    const QString question =
        QStringLiteral("This option will clear string ") + QString::number(m_exchange.currentString()) +
        QStringLiteral(" from your ProChrono's memory.\r\n               It will NOT dump the shots before it "
                       "clears. \r\n\r\n            Are you sure you want to clear this string?");
    QPointer<frmProChronoExtras> self(this);
    const bool yes = m_prompt.confirm(question);
    // Closed (and perhaps deleted) while the question was open: the exchange has ended.
    if (!self || closingStepsRan())
        return;
    m_exchange.deleteString(yes);
}

void frmProChronoExtras::btnDumpString_Click()
{
    m_exchange.dumpString();
}

bool frmProChronoExtras::unload()
{
    m_exchange.end();
    return true;
}
