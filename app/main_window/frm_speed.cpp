#include "frm_speed.h"

#include "history/string_history.h"
#include "main_window/frm_main.h"
#include "services/event_guard.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace {
constexpr int kTwips = 15; // per pixel

QLabel* arialLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    label->setFont(font);
    return label;
}
} // namespace

frmSpeed::frmSpeed(frmMain& main)
    : ClosingDialog(&main, Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint), m_main(main)
{
    setObjectName(QStringLiteral("frmSpeed"));
    setWindowTitle(QStringLiteral("Speed/Power"));
    setAttribute(Qt::WA_DeleteOnClose);

    // Absolute places at the design size (4215 x 2655 twips), scaled as the window grows.
    fmePower = new QGroupBox(QStringLiteral("Power"), this);
    fmePower->setObjectName(QStringLiteral("fmePower"));
    fmePower->setGeometry(4, 2, 273, 173);
    Label5 = arialLabel(QStringLiteral("Label5"), QStringLiteral("0.00"), fmePower);
    Label5->setGeometry(6, 18, 200, 60);
    Label7 = arialLabel(QStringLiteral("Label7"), QStringLiteral("fps"), fmePower);
    Label7->setGeometry(208, 30, 62, 30);
    Label3 = arialLabel(QStringLiteral("Label3"), QStringLiteral("0.00"), fmePower);
    Label3->setToolTip(QStringLiteral("Power in Ft.Lbf"));
    Label3->setGeometry(6, 82, 200, 60);
    Label4 = arialLabel(QStringLiteral("Label4"), QStringLiteral("Ft.Lbf"), fmePower);
    Label4->setGeometry(208, 94, 62, 30);
    lblShot = arialLabel(QStringLiteral("lblShot"), QStringLiteral("Shot:"), fmePower);
    lblShot->setGeometry(6, 148, 60, 20);
    lblShotCount = arialLabel(QStringLiteral("lblShotCount"), QString(), fmePower);
    lblShotCount->setGeometry(68, 148, 100, 20);
    btnChart = new QPushButton(QStringLiteral("Chart"), fmePower);
    btnChart->setObjectName(QStringLiteral("btnChart"));
    btnChart->setToolTip(QStringLiteral("Show the string as a chart"));
    btnChart->setGeometry(196, 144, 70, 24);
    connect(btnChart, &QPushButton::clicked, this, guarded([this] { m_main.history().showChart(); }));
    for (QLabel* figure : {Label5, Label3})
        figure->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    resize(panel_layout::kDesignWidth / kTwips, panel_layout::kDesignHeight / kTwips);
    setMinimumSize(120, 80);
    recordLayout();
    for (QLabel* figure : {Label5, Label3})
        setFontSize(figure, panel_layout::scaledFontSize(1, 32));
    for (QLabel* unit : {Label4, Label7})
        setFontSize(unit, panel_layout::scaledFontSize(1, 8));
    for (QLabel* shot : {lblShot, lblShotCount})
        setFontSize(shot, panel_layout::scaledFontSize(1, 1));
}

QList<QWidget*> frmSpeed::scaledControls() const
{
    return {fmePower, Label5, Label7, Label3, Label4, lblShot, lblShotCount, btnChart};
}

void frmSpeed::recordLayout()
{
    m_layout.clear();
    const QList<QWidget*> controls = scaledControls();
    for (int i = 0; i < controls.size(); ++i) {
        const QRect g = controls[i]->geometry();
        m_layout.push_back({i, g.x() * kTwips, g.y() * kTwips, g.width() * kTwips, g.height() * kTwips});
    }
    m_recordedHeight = height() * kTwips;
    m_recordedWidth = width() * kTwips;
}

void frmSpeed::scaleLayout()
{
    m_ratios = panel_layout::ratios(width() * kTwips, height() * kTwips, m_recordedWidth, m_recordedHeight);
    const QList<QWidget*> controls = scaledControls();
    for (const panel_layout::ControlLayout& record : m_layout) {
        if (record.tabIndex < 0 || record.tabIndex >= controls.size())
            continue;
        const panel_layout::ControlLayout s = panel_layout::scaled(record, m_ratios);
        controls[record.tabIndex]->setGeometry(s.left / kTwips, s.top / kTwips, s.width / kTwips, s.height / kTwips);
    }
}

void frmSpeed::setFontSize(QLabel* label, int points)
{
    QFont font = label->font();
    font.setPointSize(std::max(1, points));
    label->setFont(font);
}

void frmSpeed::resizeEvent(QResizeEvent* event)
{
    ClosingDialog::resizeEvent(event);
    if (width() * kTwips < panel_layout::kDesignWidth || height() * kTwips < panel_layout::kDesignHeight)
        return;
    scaleLayout();
    const double ratio = m_ratios.height;
    for (QLabel* figure : {Label3, Label5})
        setFontSize(figure, panel_layout::scaledFontSize(ratio, 32));
    for (QLabel* unit : {Label4, Label7})
        setFontSize(unit, panel_layout::scaledFontSize(ratio, 8));
    for (QLabel* shot : {lblShot, lblShotCount})
        setFontSize(shot, panel_layout::scaledFontSize(ratio, 1));
}

void frmSpeed::showShot(const QString& power, const QString& speed, qint16 shotCount)
{
    setPowerCaption(power);
    Label5->setText(speed);
    lblShotCount->setText(QString::number(shotCount));
}

void frmSpeed::setPowerCaption(const QString& caption)
{
    if (Label3->text() == caption)
        return;
    Label3->setText(caption);
    Label3_Change();
}

void frmSpeed::Label3_Change()
{
    m_main.colourPowerFigure(Label3);
}

bool frmSpeed::unload()
{
    m_main.dockSpeedPanel();
    return true;
}
