#include "frm_saved.h"

#include "main_window/clickable_label.h"
#include "main_window/frm_main.h"
#include "services/event_guard.h"
#include "services/platform_services.h"
#include "storage/settings_store.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmSaved::frmSaved(frmMain& main) : ClosingDialog(&main), m_main(main)
{
    setObjectName(QStringLiteral("frmSaved"));
    setWindowTitle(QStringLiteral("Velmora - File Saved"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* done = new QLabel(QStringLiteral("File Save Successful"), this);
    QFont bold = done->font();
    bold.setBold(true);
    done->setFont(bold);
    auto* upload = new QLabel(QStringLiteral("You can upload Velmora CSVs at"), this);
    auto* link = new ClickableLabel(QStringLiteral("Velmora - Graph Me"), this);
    lblGraphMe = link;
    lblGraphMe->setObjectName(QStringLiteral("lblGraphMe"));
    lblGraphMe->setToolTip(QStringLiteral("Visit ") + graphPage());
    lblGraphMe->setCursor(Qt::PointingHandCursor);
    QFont underlined = lblGraphMe->font();
    underlined.setUnderline(true);
    lblGraphMe->setFont(underlined);
    lblGraphMe->setStyleSheet(QStringLiteral("color: palette(link);"));
    lblFooter = new QLabel(QStringLiteral("to get a downloadable graph of your results."), this);
    lblFooter->setObjectName(QStringLiteral("lblFooter"));
    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setToolTip(QStringLiteral("Close Window"));

    auto* layout = new QVBoxLayout(this);
    for (QWidget* w : std::initializer_list<QWidget*>{done, upload, lblGraphMe, lblFooter})
        layout->addWidget(w, 0, Qt::AlignHCenter);
    layout->addWidget(btnClose, 0, Qt::AlignHCenter);

    connect(link, &ClickableLabel::clicked, this, guarded(this, &frmSaved::lblGraphMe_Click));
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    setEscapeButton(btnClose);
}

QString frmSaved::graphPage()
{
    return settings::read(settings::kWebService) + QStringLiteral("/graphme.php");
}

void frmSaved::lblGraphMe_Click()
{
    if (UrlOpener* opener = m_main.services().urlOpener)
        opener->open(QUrl(graphPage()));
}

bool frmSaved::unload()
{
    m_main.setEnabled(true);
    return true;
}
