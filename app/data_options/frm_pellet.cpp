#include "frm_pellet.h"

#include "history/string_history.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/option_group.h"
#include "services/event_guard.h"
#include "services/focus_moves.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "shot/ballistics.h"
#include "storage/pellet_store.h"
#include "storage/settings_store.h"

#include "fitting_scroll_area.h"
#include "named_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QLineEdit* field(const char* name, const QString& text, const QString& toolTip, QWidget* parent)
{
    return named(new QLineEdit(text, parent), name, toolTip);
}

// A drop-down list whose text shows a prompt until an entry is chosen.
QComboBox* lookup(const char* name, const QString& prompt, const QString& toolTip, QWidget* parent)
{
    auto* list = named(new QComboBox(parent), name, toolTip);
    list->setPlaceholderText(prompt);
    list->setMinimumWidth(180);
    return list;
}

// A field's label, with the field as its buddy: the label names the field for screen readers.
QLabel* label(const char* name, const QString& text, QWidget* field, QWidget* parent)
{
    auto* l = named(new QLabel(text, parent), name);
    l->setBuddy(field);
    return l;
}

void setPrompt(QComboBox* list, const QString& prompt)
{
    list->setPlaceholderText(prompt);
    list->setCurrentIndex(-1);
}

// The limit re-evaluation and the unit words stay the main window's; this only adds entries.
void addItems(QComboBox* list, const QStringList& items)
{
    const QSignalBlocker quiet(list);
    list->addItems(items);
    list->setCurrentIndex(-1);
}

} // namespace

frmPellet::frmPellet(frmMain& main) : ClosingDialog(&main), m_main(main)
{
    if (PelletStore* store = main.services().store) {
        const QString problem = store->openStore(PelletStore::defaultPath());
        if (!problem.isEmpty())
            main.services().prompt->message(problem, Prompt::Icon::Exclamation);
    }
    setObjectName(QStringLiteral("frmPellet"));
    setWindowTitle(QStringLiteral("Data Options"));
    setModal(false);
    buildUi();
    fillCalibres();
    fillGunMakes(true);
    lstGunType->addItems({QStringLiteral("Air Rifle"), QStringLiteral("Air Pistol"), QStringLiteral("Rifle"),
                          QStringLiteral("Pistol"), QStringLiteral("Shotgun"), QStringLiteral("Other")});
    connectHandlers();
}

void frmPellet::buildUi()
{
    auto* body = new QWidget(this);
    auto* projectile = new QGroupBox(QStringLiteral("Projectile Details"), body);
    lstCal = lookup("lstCal", QStringLiteral("Caliber"), QStringLiteral("Select pellet caliber"), projectile);
    lstPelletStore =
        lookup("lstPelletStore", QStringLiteral("Choose Pellet"), QStringLiteral("Select pellet brand"), projectile);
    lstPelletStore->setEnabled(false); // until a calibre is chosen
    lstPelletStore->setAccessibleName(QStringLiteral("Choose Pellet"));
    txtPelletMake = field("txtPelletMake", QStringLiteral("Pellet"),
                          QStringLiteral("Make of the projectile you are using."), projectile);
    txtCaliber = field("txtCaliber", QStringLiteral("Cal"),
                       QStringLiteral("Caliber in freetext.  e.g. .22 or 4.5mm or 17hmr"), projectile);
    txtCaliber->setMaxLength(20);
    txtWeight = field("txtWeight", QStringLiteral("1"), QStringLiteral("Weight in Grains."), projectile);
    selWeight = new OptionGroup(this);
    selWeight->setObjectName(QStringLiteral("selWeight"));
    selWeight->add(0, QStringLiteral("Grammes"), projectile)->setToolTip(QStringLiteral("Set weight units to Grammes"));
    selWeight->add(1, QStringLiteral("Grains"), projectile)->setToolTip(QStringLiteral("Set weight units to Grains"));
    selWeight->select(1);
    auto* lookupRow = new QHBoxLayout;
    lookupRow->addWidget(lstCal);
    lookupRow->addWidget(lstPelletStore, 1);
    auto* units = new QHBoxLayout;
    units->addWidget(txtWeight);
    units->addWidget((*selWeight)[0]);
    units->addWidget((*selWeight)[1]);
    auto* projectileForm = new QFormLayout(projectile);
    projectileForm->addRow(label("lblStore", QStringLiteral("Lookup:"), lstCal, projectile), lookupRow);
    projectileForm->addRow(label("lblPelletMake", QStringLiteral("Make:"), txtPelletMake, projectile), txtPelletMake);
    projectileForm->addRow(label("lblCaliber", QStringLiteral("Caliber:"), txtCaliber, projectile), txtCaliber);
    projectileForm->addRow(label("lblWeight", QStringLiteral("Weight:"), txtWeight, projectile), units);

    auto* gun = new QGroupBox(QStringLiteral("Gun Details"), body);
    lstGunMake = lookup("lstGunMake", QStringLiteral("Make"), QStringLiteral("Select your guns make"), gun);
    lstGunModel = lookup("lstGunModel", QStringLiteral("Select A Make"), QStringLiteral("Select you guns model"), gun);
    lstGunModel->setEnabled(false); // until a make is chosen
    lstGunModel->setAccessibleName(QStringLiteral("Select A Make"));
    txtMake = field("txtMake", QStringLiteral("Make"), QStringLiteral("Make of the gun being fired"), gun);
    txtModel = field("txtModel", QStringLiteral("Model"), QStringLiteral("Model of the gun being fired"), gun);
    optType = new OptionGroup(this);
    optType->setObjectName(QStringLiteral("optType"));
    optType->add(12, QStringLiteral("Air Rifle"), gun)
        ->setToolTip(QStringLiteral("Set the FAC warning limit to 12lbs"));
    optType->add(6, QStringLiteral("Air Pistol"), gun)->setToolTip(QStringLiteral("Set the FAC warning limit to 6lbs"));
    optType->add(9999, QStringLiteral("Other"), gun)
        ->setToolTip(QStringLiteral("Set the FAC warning limit to Unlimited"));
    optType->select(6);
    auto* gunLookup = new QHBoxLayout;
    gunLookup->addWidget(lstGunMake);
    gunLookup->addWidget(lstGunModel, 1);
    auto* types = new QHBoxLayout;
    for (int index : {12, 6, 9999})
        types->addWidget((*optType)[index]);
    auto* gunForm = new QFormLayout(gun);
    gunForm->addRow(label("lblGun", QStringLiteral("Lookup:"), lstGunMake, gun), gunLookup);
    gunForm->addRow(label("lblGunMake", QStringLiteral("Make:"), txtMake, gun), txtMake);
    gunForm->addRow(label("lblGunModel", QStringLiteral("Model"), txtModel, gun), txtModel);
    gunForm->addRow(label("lblGunType", QStringLiteral("Type:"), (*optType)[12], gun), types);

    auto* extra = new QGroupBox(QStringLiteral("Extra Info for CSV"), body);
    txtExtraInfo = named(new QPlainTextEdit(extra), "txtExtraInfo",
                         QStringLiteral("Enter upto 500 characters that will be added to saved CSVs"));
    txtExtraInfo->setFixedHeight(70);
    txtExtraInfo->setTabChangesFocus(true); // Tab leaves the box, for keyboard users
    txtExtraInfo->setAccessibleName(extra->title());
    (new QVBoxLayout(extra))->addWidget(txtExtraInfo);

    fmeOnline = named(new QGroupBox(QStringLiteral("Online Options"), body), "fmeOnline");
    auto* addProjectile = new QGroupBox(QStringLiteral("Add Projectile to Internet Database"), fmeOnline);
    txtAddCal = field("txtAddCal", QString(), QString(), addProjectile);
    txtAddPelMake = field("txtAddPelMake", QString(), QString(), addProjectile);
    txtAddWeight = field("txtAddWeight", QStringLiteral("0"), QString(), addProjectile);
    selAddWeight = new OptionGroup(this);
    selAddWeight->setObjectName(QStringLiteral("selAddWeight"));
    selAddWeight->add(0, QStringLiteral("Grammes"), addProjectile);
    selAddWeight->add(1, QStringLiteral("Grains"), addProjectile);
    selAddWeight->select(1);
    btnAddPellet = named(new QPushButton(QStringLiteral("Submit Projectile"), addProjectile), "btnAddPellet");
    auto* addUnits = new QHBoxLayout;
    addUnits->addWidget(txtAddWeight);
    addUnits->addWidget((*selAddWeight)[0]);
    addUnits->addWidget((*selAddWeight)[1]);
    auto* addProjectileForm = new QFormLayout(addProjectile);
    addProjectileForm->addRow(label("lblAddCal", QStringLiteral("Caliber"), txtAddCal, addProjectile), txtAddCal);
    addProjectileForm->addRow(label("lblAddPelMake", QStringLiteral("Make:"), txtAddPelMake, addProjectile),
                              txtAddPelMake);
    addProjectileForm->addRow(label("lblAddPelWeight", QStringLiteral("Weight"), txtAddWeight, addProjectile),
                              addUnits);
    addProjectileForm->addRow(btnAddPellet);

    auto* addGun = new QGroupBox(QStringLiteral("Add gun to Internet Database"), fmeOnline);
    lstGunType = named(new QComboBox(addGun), "lstGunType");
    txtAddGunMake = field("txtAddGunMake", QString(), QString(), addGun);
    txtAddGunModel = field("txtAddGunModel", QString(), QString(), addGun);
    btnAddGun = named(new QPushButton(QStringLiteral("Submit Gun"), addGun), "btnAddGun");
    auto* addGunForm = new QFormLayout(addGun);
    addGunForm->addRow(label("lblTypeGun", QStringLiteral("Type"), lstGunType, addGun), lstGunType);
    addGunForm->addRow(label("lblAddGunMake", QStringLiteral("Make:"), txtAddGunMake, addGun), txtAddGunMake);
    addGunForm->addRow(label("lblAddGunModel", QStringLiteral("Model"), txtAddGunModel, addGun), txtAddGunModel);
    addGunForm->addRow(btnAddGun);

    btnUpdate = named(new QPushButton(QStringLiteral("Update Database from Internet"), fmeOnline), "btnUpdate");
    chkTips = named(new QCheckBox(QStringLiteral("Enable Tips at startup"), fmeOnline), "chkTips",
                    QStringLiteral("Enable the tips at program start"));
    chkTips->setChecked(true);
    chkArchiveStrings =
        named(new QCheckBox(QStringLiteral("Keep every string in the history"), fmeOnline), "chkArchiveStrings",
              QStringLiteral("Archive each string as a CSV when it is cleared and when Velmora ends"));
    chkArchiveStrings->setChecked(StringHistory::archivingOn());
    auto* onlineLayout = new QGridLayout(fmeOnline);
    onlineLayout->addWidget(addProjectile, 0, 0);
    onlineLayout->addWidget(addGun, 0, 1);
    onlineLayout->addWidget(btnUpdate, 1, 0);
    auto* switches = new QVBoxLayout;
    switches->addWidget(chkTips);
    switches->addWidget(chkArchiveStrings);
    onlineLayout->addLayout(switches, 1, 1);

    btnPelletApply =
        named(new QPushButton(QStringLiteral("Close"), this), "btnPelletApply", QStringLiteral("Close Window"));

    auto* layout = new QGridLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(projectile, 0, 0);
    layout->addWidget(gun, 0, 1);
    layout->addWidget(extra, 1, 0, 1, 2);
    layout->addWidget(fmeOnline, 2, 0, 1, 2);
    // On a small screen the frames scroll; the Close button stays in view.
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(new FittingScrollArea(body, this), 1);
    outer->addWidget(btnPelletApply, 0, Qt::AlignRight);

    txtWeight->installEventFilter(this);
    txtAddWeight->installEventFilter(this);
}

void frmPellet::followShotSettings()
{
    ShotSettings& s = m_main.shotSettings();
    auto follow = [this](QLineEdit* box, QString ShotSettings::*text) {
        m_main.shotSettings().*text = box->text();
        connect(box, &QLineEdit::textChanged, this,
                [this, text](const QString& t) { m_main.shotSettings().*text = t; });
    };
    follow(txtMake, &ShotSettings::gunMake);
    follow(txtModel, &ShotSettings::gunModel);
    follow(txtPelletMake, &ShotSettings::projectileMake);
    s.setWeight(txtWeight->text(), selWeight->isSelected(0));
    s.gunType = optType->selectedIndex();
    connect(txtWeight, &QLineEdit::textChanged, this,
            [this](const QString& t) { m_main.shotSettings().setWeightText(t); });
    connect(selWeight, &OptionGroup::clicked, this,
            [this] { m_main.shotSettings().setGrammes(selWeight->isSelected(0)); });
    connect(optType, &OptionGroup::clicked, this, [this] { m_main.shotSettings().gunType = optType->selectedIndex(); });
}

void frmPellet::connectHandlers()
{
    followShotSettings();
    auto projectileText = [this](const char* key) {
        return [this, key](const QString& text) {
            m_main.UpdateProjectileLabel();
            settings::SaveSettingValue(QString::fromLatin1(key), text);
        };
    };
    auto gunText = [this](const char* key) {
        return [this, key](const QString& text) {
            m_main.UpdateGunLabel();
            settings::SaveSettingValue(QString::fromLatin1(key), text);
        };
    };
    connect(txtCaliber, &QLineEdit::textChanged, this, guarded(projectileText("txtCaliber")));
    connect(txtPelletMake, &QLineEdit::textChanged, this, guarded(projectileText("txtPelletMake")));
    connect(txtWeight, &QLineEdit::textChanged, this, guarded(projectileText("txtWeight")));
    connect(txtMake, &QLineEdit::textChanged, this, guarded(gunText("txtMake")));
    connect(txtModel, &QLineEdit::textChanged, this, guarded(gunText("txtModel")));
    connect(txtExtraInfo, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = txtExtraInfo->toPlainText();
        if (text.size() > 500)
            txtExtraInfo->setPlainText(text.left(500)); // the box holds at most 500 characters
    });
    connect(selWeight, &OptionGroup::clicked, this, guarded(this, &frmPellet::selWeight_Click));
    connect(selAddWeight, &OptionGroup::clicked, this, guarded(this, &frmPellet::selAddWeight_Click));
    connect(optType, &OptionGroup::clicked, this, guarded(this, &frmPellet::optType_Click));
    connect(lstCal, &QComboBox::activated, this, guarded(this, &frmPellet::lstCal_Click));
    connect(lstPelletStore, &QComboBox::activated, this, guarded(this, &frmPellet::lstPelletStore_Click));
    connect(lstGunMake, &QComboBox::activated, this, guarded(this, &frmPellet::lstGunMake_Click));
    connect(lstGunModel, &QComboBox::activated, this, guarded(this, &frmPellet::lstGunModel_Click));
    connect(chkTips, &QCheckBox::toggled, this,
            [](bool on) { settings::SaveSettingValue(QStringLiteral("ShowTips"), on ? 1 : 0); });
    connect(chkArchiveStrings, &QCheckBox::toggled, this, [](bool on) {
        settings::SaveSettingValue(QString::fromLatin1(settings::kArchiveStrings.name), on ? 1 : 0);
    });
    connect(btnPelletApply, &QPushButton::clicked, this, guarded(this, &frmPellet::btnPelletApply_Click));
    connect(btnUpdate, &QPushButton::clicked, this, guarded(this, &frmPellet::btnUpdate_Click));
    connect(btnAddGun, &QPushButton::clicked, this, guarded(this, &frmPellet::btnAddGun_Click));
    connect(btnAddPellet, &QPushButton::clicked, this, guarded(this, &frmPellet::btnAddPellet_Click));
    connect(this, &frmPellet::activated, this, guarded(this, &frmPellet::probeOnline));
}

void frmPellet::fillCalibres()
{
    lstCal->clear();
    QStringList entries;
    if (PelletStore* store = m_main.services().store)
        for (double calibre : store->distinctCalibres())
            entries.append(PelletStore::calibreText(calibre));
    addItems(lstCal, entries);
}

void frmPellet::fillGunMakes(bool ordered)
{
    QStringList makes;
    if (PelletStore* store = m_main.services().store)
        makes = store->gunMakes(PelletStore::gunTypeFor(optType->selectedIndex()), ordered);
    addItems(lstGunMake, makes);
}

void frmPellet::showWithFocus(QWidget* fieldToFocus)
{
    setEnabled(true);
    show();
    raise();
    activateWindow();
    fieldToFocus->setFocus();
}

void frmPellet::lstCal_Click()
{
    lstPelletStore->setEnabled(true);
    lstPelletStore->clear();
    setPrompt(lstPelletStore, QStringLiteral("Choose Type"));
    PelletStore* store = m_main.services().store;
    if (!store || lstCal->currentIndex() < 0)
        return;
    const QSignalBlocker quiet(lstPelletStore);
    for (const PelletStore::Projectile& p : store->projectilesOfCalibre(lstCal->currentText()))
        lstPelletStore->addItem(p.name + u' ' + PelletStore::calibreText(p.caliber), p.id);
    lstPelletStore->setCurrentIndex(-1);
}

void frmPellet::lstPelletStore_Click()
{
    PelletStore* store = m_main.services().store;
    if (!store || lstPelletStore->currentIndex() < 0)
        return;
    const auto projectile = store->projectileById(lstPelletStore->currentData().toLongLong());
    if (!projectile)
        return;
    txtPelletMake->setText(projectile->name);
    txtCaliber->setText(PelletStore::calibreText(projectile->caliber));
    const double weight =
        selWeight->isSelected(1) ? projectile->metric * ballistics::kGrainsPerGramme : projectile->metric;
    txtWeight->setText(regional::format3(weight));
}

void frmPellet::optType_Click(int index)
{
    m_main.Label3_Change();
    m_main.UpdateGunLabel();
    settings::SaveSettingValue(QStringLiteral("optType"), index);
    lstGunMake->clear();
    lstGunModel->clear();
    lstGunModel->setEnabled(false);
    setPrompt(lstGunMake, QStringLiteral("Choose Make"));
    setPrompt(lstGunModel, QStringLiteral("Select A Make"));
    fillGunMakes(false);
}

void frmPellet::lstGunMake_Click()
{
    lstGunModel->setEnabled(true);
    lstGunModel->clear();
    setPrompt(lstGunModel, QStringLiteral("Choose Model"));
    if (PelletStore* store = m_main.services().store)
        addItems(lstGunModel,
                 store->gunModels(lstGunMake->currentText(), PelletStore::gunTypeFor(optType->selectedIndex())));
}

void frmPellet::lstGunModel_Click()
{
    if (lstGunModel->currentIndex() < 0)
        return;
    txtModel->setText(lstGunModel->currentText());
    txtMake->setText(lstGunMake->currentText());
}

void frmPellet::selWeight_Click(int index)
{
    QString format = m_main.MSFlexGrid1->FormatString();
    if (index == 1)
        format.replace(QLatin1String("Grammes"), QLatin1String("Grains"));
    else
        format.replace(QLatin1String("Grains"), QLatin1String("Grammes"));
    m_main.MSFlexGrid1->setFormatString(format);
    if (!loadingSettings) {
        if (const auto converted = ballistics::convertWeightText(txtWeight->text(), index == 1))
            txtWeight->setText(*converted);
    }
    m_main.MSFlexGrid1->setColWidth(3, 800);
    m_main.UpdateProjectileLabel();
    settings::SaveSettingValue(QStringLiteral("selWeight"), index);
}

void frmPellet::selAddWeight_Click(int index)
{
    if (const auto converted = ballistics::convertWeightText(txtAddWeight->text(), index == 1))
        txtAddWeight->setText(*converted);
}

bool frmPellet::checkWeight(QLineEdit* box)
{
    QString message;
    if (box->text().isEmpty())
        message = QStringLiteral("Please Enter a value for weight.");
    else if (regional::leadingNumber(box->text()) < 0)
        message = QStringLiteral("Please Enter a positive weight.");
    if (message.isEmpty())
        return true;
    m_main.services().prompt->message(message, Prompt::Icon::Critical, QStringLiteral("Velmora"));
    QTimer::singleShot(0, box, [box] { box->setFocus(); });
    return false;
}

bool frmPellet::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut && focusMovedWithinWindow(event) &&
        (watched == txtWeight || watched == txtAddWeight) && m_refusedWeightBox == nullptr) {
        auto* box = static_cast<QLineEdit*>(watched);
        bool accepted = true;
        event_guard::run("weight box", [&] { accepted = checkWeight(box); });
        if (!accepted) {
            // One message per refusal: the focus coming back must not ask again.
            m_refusedWeightBox = box;
            QTimer::singleShot(0, this, [this] { m_refusedWeightBox = nullptr; });
        }
    }
    return ClosingDialog::eventFilter(watched, event);
}

bool frmPellet::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        emit activated();
    return ClosingDialog::event(event);
}

QList<QWidget*> frmPellet::onlineControls() const
{
    return {btnUpdate,      btnAddPellet,  btnAddGun,    txtAddCal,          lstGunType,        txtAddGunMake,
            txtAddGunModel, txtAddPelMake, txtAddWeight, (*selAddWeight)[0], (*selAddWeight)[1]};
}

void frmPellet::btnPelletApply_Click()
{
    m_main.session().Timer1->start();
    close();
}

bool frmPellet::unload()
{
    m_main.setEnabled(true);
    setEnabled(false);
    return true; // loaded once for the run: closing only hides it
}
