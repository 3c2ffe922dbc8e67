#include "frm_about.h"

#include "message.h"

#include <QGridLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>

#ifndef DEVLINK_VERSION
#define DEVLINK_VERSION "1.1.0"
#endif

namespace {
// The library's title: the about box's own texts, and the title of its message.
const QString kTitle = QStringLiteral("Devlink");
}

frmAbout::frmAbout(QWidget* parent) : ClosingDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    const QStringList version = QStringLiteral(DEVLINK_VERSION).split(u'.');
    setWindowTitle(QStringLiteral("About ") + kTitle);
    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32, 32));
    lblTitle = new QLabel(kTitle, this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont big = lblTitle->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    lblTitle->setFont(big);
    lblVersion = new QLabel(QStringLiteral("Version ") + version.value(0) + u'.' + version.value(1) + u'.' +
                                version.value(2),
                            this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblDescription = new QLabel(QStringLiteral("DevPort finds, opens, reads, writes and closes one USB HID device at "
                                               "a time through the Devcore transport library. Questions and reports: "
                                               "the Velmora project."),
                                this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    lblDisclaimer = new QLabel(
        QStringLiteral("Warning: This is only a beta version.  Please read the license disclaimer before you continue."),
        this);
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    lblDisclaimer->setWordWrap(true);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(picIcon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(lblTitle, 0, 1);
    layout->addWidget(lblVersion, 1, 1);
    layout->addWidget(lblDescription, 2, 1);
    layout->addWidget(lblDisclaimer, 3, 0, 1, 2);
    layout->addWidget(cmdOK, 0, 2);
    layout->addWidget(cmdSysInfo, 1, 2);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    setDefaultButton(cmdOK);
    setEscapeButton(cmdOK);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

QString frmAbout::systemInfoProgram()
{
    for (const char* name : {"hardinfo", "hardinfo2", "kinfocenter", "gnome-system-monitor", "lshw-gtk", "sysinfo"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty())
            return found;
    }
    return {};
}

void frmAbout::cmdSysInfo_Click()
{
    const QString program = systemInfoProgram();
    if (program.isEmpty() || !QProcess::startDetached(program, {}))
        devlink::showMessage(QStringLiteral("System Information Is Unavailable At This Time"), kTitle);
}
