#include "match_criteria.h"

#include "devcore_api.h"
#include "message.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVariant>
#include <atomic>
#include <cmath>
#include <limits>
#include <optional>

namespace {

std::atomic<int> g_livePages{0};

struct Row {
    const char* label;
    QLineEdit* MatchCriteria::*box;
    QCheckBox* MatchCriteria::*check;
    const char* boxName;
    const char* checkName;
    int bit;
};

const Row kRows[] = {
    {"MatchVID:", &MatchCriteria::txtMatchVID, &MatchCriteria::VIDChk, "txtMatchVID", "VIDChk", 2},
    {"MatchPID:", &MatchCriteria::txtMatchPID, &MatchCriteria::PIDChk, "txtMatchPID", "PIDChk", 1},
    {"MatchVersion:", &MatchCriteria::txtMatchVersion, &MatchCriteria::VersionChk, "txtMatchVersion", "VersionChk", 4},
    {"MatchManufacturer:", &MatchCriteria::txtMatchManufacturer, &MatchCriteria::ManufacturerChk,
     "txtMatchManufacturer", "ManufacturerChk", 8},
    {"MatchProduct:", &MatchCriteria::txtMatchProduct, &MatchCriteria::ProductChk, "txtMatchProduct", "ProductChk", 16},
    {"MatchSerial:", &MatchCriteria::txtMatchSerial, &MatchCriteria::SerialChk, "txtMatchSerial", "SerialChk", 32},
};

// Devcore fills a text buffer; the box shows it up to its NUL.
QString fromPath(void (*get)(const char*, char*), const QByteArray& path)
{
    QByteArray buffer(256, ' ');
    get(path.constData(), buffer.data());
    return QString::fromLatin1(buffer.constData(), qsizetype(qstrnlen(buffer.constData(), size_t(buffer.size()))));
}

QString upToNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul >= 0 ? text.left(nul) : text;
}

// The number in a numeric box, or nothing for a text that is not a finite number.
std::optional<double> boxNumber(const QLineEdit* box)
{
    bool ok = false;
    const double value = box->text().trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// A box's number as a whole number for the control: to the nearest, halves to even, and held to
// the int range so that the control's own range check refuses what is too large.
int wholeNumber(double value)
{
    const double rounded = std::nearbyint(value);
    if (rounded <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    if (rounded >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return int(rounded);
}

} // namespace

MatchCriteria::MatchCriteria(QWidget* parent) : QWidget(parent)
{
    ++g_livePages;
    setObjectName(QStringLiteral("MatchCriteria"));
    setWindowTitle(QStringLiteral("Match Criteria"));
    Label1 = new QLabel(QStringLiteral("Please specify your match criteria below.  Check the checkbox if you want that "
                                       "particular match criterion to take effect.  Click \"Browse\" to browse for "
                                       "all existing HID devices connected to the system."),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    auto* layout = new QGridLayout(this);
    layout->addWidget(Label1, 0, 0, 1, 3);
    int r = 1;
    for (const Row& row : kRows) {
        QLineEdit*& box = this->*(row.box);
        QCheckBox*& check = this->*(row.check);
        box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(row.boxName));
        check = new QCheckBox(this);
        check->setObjectName(QString::fromLatin1(row.checkName));
        auto* label = new QLabel(QString::fromLatin1(row.label), this);
        label->setBuddy(box);
        // The check box has no caption of its own: it is named after its row.
        check->setAccessibleName(QString::fromLatin1(row.label) + QStringLiteral(" in force"));
        layout->addWidget(label, r, 0);
        layout->addWidget(box, r, 1);
        layout->addWidget(check, r, 2);
        ++r;
        connect(check, &QCheckBox::clicked, this, [this] { m_changed = true; });
    }
    BrowseBtn = new QPushButton(QStringLiteral("Browse"), this);
    BrowseBtn->setObjectName(QStringLiteral("BrowseBtn"));
    layout->addWidget(BrowseBtn, r, 2);

    for (QLineEdit* box : {txtMatchManufacturer, txtMatchProduct, txtMatchSerial})
        connect(box, &QLineEdit::textChanged, this, [this] {
            if (!m_filling)
                m_changed = true;
        });
    for (QLineEdit* box : {txtMatchVID, txtMatchPID, txtMatchVersion})
        connect(box, &QLineEdit::textChanged, this, [this, box] { numberEdited(box); });
    connect(BrowseBtn, &QPushButton::clicked, this, &MatchCriteria::BrowseBtn_Click);
}

MatchCriteria::~MatchCriteria()
{
    --g_livePages;
}

int MatchCriteria::livePages()
{
    return g_livePages;
}

void MatchCriteria::numberEdited(QLineEdit* box)
{
    if (m_filling)
        return;
    const auto value = boxNumber(box);
    if (!value || (*value == std::floor(*value) && (*value < 0 || *value > 65335))) {
        devlink::showMessage(QStringLiteral("Invalid Number! Number must be between 0 and 65335."),
                             QStringLiteral("Error"));
        const QSignalBlocker quiet(box);
        box->setText(QStringLiteral("0"));
    }
    // The box holds a number now, the one typed or "0", which Apply must write.
    m_changed = true;
}

void MatchCriteria::setSelectedControls(const QList<QObject*>& controls)
{
    m_selected.clear();
    for (QObject* c : controls)
        m_selected.append(c);
    SelectionChanged();
}

QObject* MatchCriteria::first() const
{
    return m_selected.isEmpty() ? nullptr : m_selected.first().data();
}

void MatchCriteria::SelectionChanged()
{
    QObject* control = first();
    if (!control)
        return;
    m_filling = true;
    txtMatchSerial->setText(upToNul(control->property("MatchSerial").toString()));
    txtMatchProduct->setText(upToNul(control->property("MatchProduct").toString()));
    txtMatchManufacturer->setText(upToNul(control->property("MatchManufacturer").toString()));
    txtMatchVersion->setText(QString::number(control->property("MatchVersion").toInt()));
    txtMatchPID->setText(QString::number(control->property("MatchPID").toInt()));
    txtMatchVID->setText(QString::number(control->property("MatchVID").toInt()));
    const int method = control->property("MatchMethod").toInt();
    for (const Row& row : kRows) {
        (this->*(row.check))->setChecked(false);
        if (method & row.bit)
            (this->*(row.check))->setChecked(true);
    }
    m_filling = false;
    m_changed = false;
}

void MatchCriteria::ApplyChanges()
{
    QObject* control = first();
    if (!control)
        return;
    control->setProperty("MatchSerial", txtMatchSerial->text());
    control->setProperty("MatchProduct", txtMatchProduct->text());
    control->setProperty("MatchManufacturer", txtMatchManufacturer->text());
    const std::pair<const char*, QLineEdit*> numbers[] = {
        {"MatchVersion", txtMatchVersion}, {"MatchPID", txtMatchPID}, {"MatchVID", txtMatchVID}};
    for (const auto& [name, box] : numbers)
        if (const auto value = boxNumber(box))
            control->setProperty(name, wholeNumber(*value));
    int method = 0;
    control->setProperty("MatchMethod", method);
    for (const Row& row : kRows)
        if ((this->*(row.check))->isChecked())
            method += row.bit;
    control->setProperty("MatchMethod", method);
    m_changed = false;
}

void MatchCriteria::BrowseBtn_Click()
{
    QObject* control = first();
    const DevcoreApi* api = DevcoreApi::get();
    if (!control || !api)
        return;
    QString path;
    QMetaObject::invokeMethod(control, "Browse", Qt::DirectConnection, Q_RETURN_ARG(QString, path));
    path = upToNul(path).trimmed();
    if (path.isEmpty())
        return;
    m_changed = true;
    const QByteArray p = path.toLatin1();
    m_filling = true;
    txtMatchSerial->setText(fromPath(api->GetSerialFromPath, p));
    txtMatchProduct->setText(fromPath(api->GetProductFromPath, p));
    txtMatchManufacturer->setText(fromPath(api->GetManufacturerFromPath, p));
    txtMatchVID->setText(QString::number(api->GetVidFromPath(p.constData())));
    txtMatchPID->setText(QString::number(api->GetPidFromPath(p.constData())));
    txtMatchVersion->setText(QString::number(api->GetVersionFromPath(p.constData())));
    m_filling = false;
    for (const Row& row : kRows)
        (this->*(row.check))->setChecked(true);
}

void MatchCriteria::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && isWindow()) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
