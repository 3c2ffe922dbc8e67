#include "frm_chrony_extras.h"

#include "capture/chrony_memory_exchange.h"
#include "services/event_guard.h"
#include "services/prompt.h"
#include "services/regional.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

frmChronyExtras::frmChronyExtras(QWidget* owner, ChronyMemoryExchange& exchange, Prompt& prompt)
    : ClosingDialog(owner), m_exchange(exchange), m_prompt(prompt)
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
    // The question is asked from the event loop, not from inside the button's own code: the window
    // and the button may be gone when it is answered.
    connect(btnClear, &QPushButton::clicked, this, [self = QPointer<frmChronyExtras>(this)] {
        QTimer::singleShot(0, [self] {
            if (self)
                event_guard::run("Clear Chrony", [&] { self->btnClear_Click(); });
        });
    });

    connect(&m_exchange, &ChronyMemoryExchange::outputChanged, this, &frmChronyExtras::showOutput);
    connect(&m_exchange, &ChronyMemoryExchange::controlsChanged, this, &frmChronyExtras::showControls);
    connect(&m_exchange, &ChronyMemoryExchange::stringsListed, this, &frmChronyExtras::listStrings);
    connect(&m_exchange, &ChronyMemoryExchange::oneStringAssumed, this, [this] {
        txtStoredStrings->setText(QStringLiteral("1"));
        lstString->addItem(QStringLiteral("1"));
    });
    connect(&m_exchange, &ChronyMemoryExchange::stringSelected, this, [this](int number) {
        const QSignalBlocker quiet(lstString);
        lstString->setCurrentIndex(number - 1);
    });
}

const QString& frmChronyExtras::outputText() const
{
    return m_exchange.output();
}

void frmChronyExtras::Form_Load()
{
    m_exchange.begin();
}

void frmChronyExtras::showOutput()
{
    txtChronyOutput->setPlainText(QString(m_exchange.output()).replace(QLatin1String("\r\n"), QLatin1String("\n")));
}

void frmChronyExtras::listStrings(int count)
{
    txtStoredStrings->setText(QString::number(count));
    const QSignalBlocker quiet(lstString);
    for (int j = 1; j <= count; ++j)
        lstString->addItem(QString::number(j));
    lstString->setCurrentIndex(-1);
}

void frmChronyExtras::showControls()
{
    btnDumpAll->setEnabled(m_exchange.dumpEnabled());
    btnDumpAll->setText(m_exchange.dumpCaption());
    btnClear->setEnabled(m_exchange.clearEnabled());
    lstString->setEnabled(m_exchange.listEnabled());
}

void frmChronyExtras::lstString_Click()
{
    m_exchange.pick(int(regional::leadingNumber(lstString->currentText())));
}

void frmChronyExtras::btnDumpAll_Click()
{
    m_exchange.dump();
}

void frmChronyExtras::btnClear_Click()
{
    const QString question = QStringLiteral(
        "This option will clear ALL shots and strings from your Chrony's memory.\r\n                  It will NOT "
        "dump the shots before it clears. \r\n\r\n            Are you sure you want to clear the Chrony's memory?");
    const QPointer<frmChronyExtras> self(this);
    const bool yes = m_prompt.confirm(question);
    // Closed, or the cable pulled, while the question was open.
    if (!self || closingStepsRan() || !yes)
        return;
    m_exchange.clear();
}

bool frmChronyExtras::unload()
{
    btnDumpAll->setEnabled(false);
    // The closing steps go on without the window; live capture resumes when they are done.
    m_exchange.end();
    return true;
}
