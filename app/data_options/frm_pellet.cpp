#include "frm_pellet.h"

#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/option_group.h"
#include "services/prompt.h"
#include "storage/pellet_store.h"
#include "storage/settings_store.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {
QLineEdit* field(const QString& name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}
} // namespace

frmPellet::frmPellet(frmMain& main) : QDialog(&main), m_main(main)
{
    if (PelletStore* store = main.services().store) {
        const QString problem = store->openStore(PelletStore::defaultPath());
        if (!problem.isEmpty())
            main.services().prompt->message(problem, Prompt::Icon::Exclamation);
    }
    setObjectName(QStringLiteral("frmPellet"));
    setWindowTitle(QStringLiteral("Data Options"));
    setModal(false);

    txtMake = field(QStringLiteral("txtMake"), this);
    txtModel = field(QStringLiteral("txtModel"), this);
    txtPelletMake = field(QStringLiteral("txtPelletMake"), this);
    txtCaliber = field(QStringLiteral("txtCaliber"), this);
    txtWeight = field(QStringLiteral("txtWeight"), this);

    auto* unitFrame = new QGroupBox(this);
    selWeight = new OptionGroup(this);
    selWeight->setObjectName(QStringLiteral("selWeight"));
    selWeight->add(0, QStringLiteral("Grammes"), unitFrame);
    selWeight->add(1, QStringLiteral("Grains"), unitFrame);
    selWeight->select(1);
    auto* unitLayout = new QHBoxLayout(unitFrame);
    unitLayout->addWidget((*selWeight)[0]);
    unitLayout->addWidget((*selWeight)[1]);

    auto* typeFrame = new QGroupBox(QStringLiteral("Gun Type"), this);
    optType = new OptionGroup(this);
    optType->setObjectName(QStringLiteral("optType"));
    optType->add(12, QStringLiteral("Air Rifle"), typeFrame);
    optType->add(6, QStringLiteral("Air Pistol"), typeFrame);
    optType->add(9999, QStringLiteral("Other"), typeFrame);
    optType->select(6);
    auto* typeLayout = new QHBoxLayout(typeFrame);
    for (int index : {12, 6, 9999})
        typeLayout->addWidget((*optType)[index]);

    chkTips = new QCheckBox(QStringLiteral("Show Tips at Startup"), this);
    chkTips->setObjectName(QStringLiteral("chkTips"));
    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Gun Make:"), txtMake);
    form->addRow(QStringLiteral("Gun Model:"), txtModel);
    form->addRow(typeFrame);
    form->addRow(QStringLiteral("Projectile:"), txtPelletMake);
    form->addRow(QStringLiteral("Caliber:"), txtCaliber);
    form->addRow(QStringLiteral("Weight:"), txtWeight);
    form->addRow(unitFrame);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(chkTips);
    layout->addWidget(btnClose, 0, Qt::AlignRight);

    connect(txtWeight, &QLineEdit::textChanged, this, [this](const QString& t) {
        textChanged("txtWeight", t);
        m_main.UpdateProjectileLabel();
    });
    connect(txtMake, &QLineEdit::textChanged, this, [this](const QString& t) {
        textChanged("txtMake", t);
        m_main.UpdateGunLabel();
    });
    connect(txtModel, &QLineEdit::textChanged, this, [this](const QString& t) {
        textChanged("txtModel", t);
        m_main.UpdateGunLabel();
    });
    connect(txtPelletMake, &QLineEdit::textChanged, this, [this](const QString& t) {
        textChanged("txtPelletMake", t);
        m_main.UpdateProjectileLabel();
    });
    connect(txtCaliber, &QLineEdit::textChanged, this, [this](const QString& t) {
        textChanged("txtCaliber", t);
        m_main.UpdateProjectileLabel();
    });
    connect(selWeight, &OptionGroup::clicked, this, &frmPellet::selWeight_Click);
    connect(optType, &OptionGroup::clicked, this, &frmPellet::optType_Click);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
}

void frmPellet::textChanged(const char* key, const QString& text)
{
    settings::SaveSettingValue(QString::fromLatin1(key), text);
}

void frmPellet::showWithFocus(QWidget* fieldToFocus)
{
    setEnabled(true);
    show();
    raise();
    fieldToFocus->setFocus();
}

void frmPellet::selWeight_Click(int index)
{
    settings::SaveSettingValue(QStringLiteral("selWeight"), index);
    QString format = m_main.MSFlexGrid1->FormatString();
    if (index == 0)
        format.replace(QLatin1String("Grains"), QLatin1String("Grammes"));
    else
        format.replace(QLatin1String("Grammes"), QLatin1String("Grains"));
    m_main.MSFlexGrid1->setFormatString(format);
    m_main.UpdateProjectileLabel();
}

void frmPellet::optType_Click(int index)
{
    settings::SaveSettingValue(QStringLiteral("optType"), index);
    m_main.Label3_Change();
}

void frmPellet::closeEvent(QCloseEvent* event)
{
    m_main.setEnabled(true);
    m_main.Timer1->start();
    hide();
    event->accept();
}
