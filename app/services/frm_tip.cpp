#include "frm_tip.h"

#include "data_options/frm_pellet.h"
#include "main_window/clickable_label.h"
#include "main_window/frm_main.h"
#include "services/clock.h"
#include "services/event_guard.h"
#include "services/platform_services.h"
#include "storage/pellet_store.h"
#include "storage/settings_store.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

frmTip::frmTip(frmMain& main) : ClosingDialog(&main), m_main(main)
{
    setObjectName(QStringLiteral("frmTip"));
    setWindowTitle(QStringLiteral("Tip of the Day"));
    setAttribute(Qt::WA_DeleteOnClose);
    Label1 = new QLabel(QStringLiteral("Did you know..."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    Label1->setFont(bold);
    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(40, 40));
    lblTipText = new QLabel(this);
    lblTipText->setObjectName(QStringLiteral("lblTipText"));
    lblTipText->setWordWrap(true);
    lblTipText->setMinimumSize(320, 80);
    lblTipText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    chkLoadTipsAtStartup = new QCheckBox(QStringLiteral("&Show Tips at Startup"), this);
    chkLoadTipsAtStartup->setObjectName(QStringLiteral("chkLoadTipsAtStartup"));
    cmdNextTip = new QPushButton(QStringLiteral("&Next Tip"), this);
    cmdNextTip->setObjectName(QStringLiteral("cmdNextTip"));
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    auto* link = new ClickableLabel(QStringLiteral("Submit a Tip"), this);
    Label2 = link;
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setCursor(Qt::PointingHandCursor);
    QFont underlined = Label2->font();
    underlined.setUnderline(true);
    Label2->setFont(underlined);

    auto* layout = new QGridLayout(this);
    layout->addWidget(Picture1, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(Label1, 0, 1);
    layout->addWidget(lblTipText, 1, 1);
    layout->addWidget(cmdOK, 0, 2);
    layout->addWidget(cmdNextTip, 1, 2, Qt::AlignTop);
    layout->addWidget(chkLoadTipsAtStartup, 2, 0, 1, 2);
    layout->addWidget(Label2, 2, 2);
    chainTabOrder({cmdOK, cmdNextTip, chkLoadTipsAtStartup, Label2});

    connect(cmdOK, &QPushButton::clicked, this, &QWidget::close);
    // OK is the window's default and cancel button: Enter and Escape both press it.
    setDefaultButton(cmdOK);
    setEscapeButton(cmdOK);
    connect(cmdNextTip, &QPushButton::clicked, this, guarded(this, &frmTip::PickRandomTip));
    connect(link, &ClickableLabel::clicked, this, guarded(this, &frmTip::Label2_Click));
    connect(chkLoadTipsAtStartup, &QCheckBox::clicked, this, [](bool on) { settings::SaveSettingValue(QStringLiteral("ShowTips"), on ? 1 : 0); });
}

bool frmTip::Form_Load()
{
    m_main.setEnabled(false);
    setEnabled(true); // a window stays usable over its disabled owner
    const bool show = settings::read(settings::kShowTips).trimmed() != QLatin1String("0");
    if (!show) {
        m_main.pellet().chkTips->setChecked(false);
        close();
        return false;
    }
    chkLoadTipsAtStartup->setChecked(true);
    m_main.pellet().chkTips->setChecked(true);
    m_random.seed(static_cast<unsigned>(m_main.services().clock->now().toMSecsSinceEpoch()));
    if (!LoadTips())
        lblTipText->setText(QStringLiteral("Tips not found? \r\n\r\n"));
    return true;
}

bool frmTip::LoadTips()
{
    m_tips.clear();
    if (PelletStore* store = m_main.services().store)
        m_tips = store->tips();
    if (m_tips.isEmpty())
        return false;
    PickRandomTip();
    return true;
}

void frmTip::DisplayCurrentTip()
{
    if (!m_tips.isEmpty() && m_current >= 1 && m_current <= m_tips.size())
        lblTipText->setText(m_tips[m_current - 1]);
}

void frmTip::PickRandomTip()
{
    if (m_tips.isEmpty())
        return;
    std::uniform_int_distribution<int> pick(1, int(m_tips.size()));
    m_current = pick(m_random);
    DisplayCurrentTip();
}

void frmTip::Label2_Click()
{
    if (UrlOpener* opener = m_main.services().urlOpener)
        opener->open(QUrl(settings::read(settings::kWebService) + QStringLiteral("/tips.php")));
}

bool frmTip::unload()
{
    m_main.setEnabled(true);
    return true;
}

void showTipOfTheDay(frmMain& main)
{
    auto* tip = new frmTip(main);
    if (tip->Form_Load())
        tip->show();
}
