// The large figures' units and the power limit colour.
#include "frm_main.h"

#include "main_window/flex_grid.h"
#include "main_window/frm_speed.h"
#include "main_window/option_group.h"
#include "main_window/power_limit.h"
#include "services/regional.h"
#include "shot/ballistics.h"
#include "storage/settings_store.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

void frmMain::followUnitOptions()
{
    auto follow = [this](OptionGroup* group, int ShotSettings::*unit) {
        m_shotSettings.*unit = group->selectedIndex();
        connect(group, &OptionGroup::clicked, this,
                [this, group, unit] { m_shotSettings.*unit = group->selectedIndex(); });
    };
    follow(optSpeed, &ShotSettings::speedIndex);
    follow(optPower, &ShotSettings::powerIndex);
}

void frmMain::optSpeed_Click(int index)
{
    QString format = MSFlexGrid2->FormatString();
    QString tip = Label5->toolTip();
    if (index == 1) {
        Label7->setText(QStringLiteral("fps"));
        Label5->setText(regional::format2(m_session->last_fps));
        format.replace(QLatin1String("m/s"), QLatin1String("fps"));
        tip.replace(QLatin1String("Meters"), QLatin1String("Feet"));
    } else if (index == 2) {
        Label7->setText(QStringLiteral("m/s"));
        Label5->setText(regional::format2(m_session->last_fps * ballistics::kMetresPerFoot));
        format.replace(QLatin1String("fps"), QLatin1String("m/s"));
        tip.replace(QLatin1String("Feet"), QLatin1String("Meters"));
    }
    MSFlexGrid2->setFormatString(format);
    Label5->setToolTip(tip);
    try {
        updateTotals();
    } catch (const std::exception&) {
        // A weight that is not a number leaves the summary as it was.
    }
    settings::SaveSettingValue(QStringLiteral("optSpeed"), index);
}

void frmMain::optPower_Click(int index)
{
    const QString old = Label4->text();
    QString word;
    QString figure;
    try {
        if (index == 1) {
            word = QStringLiteral("Ft.Lbf");
            figure = regional::format2(m_session->last_ftlb);
        } else if (index == 2) {
            word = QStringLiteral("Joules");
            figure = regional::format2(m_session->last_ftlb * ballistics::kJoulesPerFtLbf);
        } else if (index == 3) {
            word = QStringLiteral("IPSC-F");
            figure = regional::format1(m_shotSettings.weightInGrains() * m_session->last_fps / 1000.0);
        }
    } catch (const std::exception&) {
        figure = Label3->text();
    }
    if (!word.isEmpty() && !old.isEmpty()) {
        QString format = MSFlexGrid2->FormatString();
        MSFlexGrid2->setFormatString(format.replace(old, word));
        QString tip = Label3->toolTip();
        Label3->setToolTip(tip.replace(old, word));
    }
    if (!word.isEmpty())
        Label4->setText(word);
    if (!figure.isEmpty())
        setPowerCaption(figure);
    try {
        updateTotals();
    } catch (const std::exception&) {
    }
    settings::SaveSettingValue(QStringLiteral("optPower"), index);
}

void frmMain::setPowerCaption(const QString& caption)
{
    if (Label3->text() == caption)
        return;
    Label3->setText(caption);
    Label3_Change();
}

void frmMain::Label3_Change()
{
    colourPowerFigure(Label3);
}

void frmMain::colourPowerFigure(QLabel* figure)
{
    if (!m_pellet)
        return;
    const ShotSettings& s = m_shotSettings;
    const bool above = powerAboveLimit(figure->text(), s.gunType == 6, s.gunType == 12, s.powerIndex == 1);
    QPalette palette = figure->palette();
    palette.setColor(QPalette::WindowText,
                     above ? QColor(255, 0, 0) : QApplication::palette().color(QPalette::ButtonText));
    figure->setPalette(palette);
}

void frmMain::btnMax_Click()
{
    setEnabled(false);
    if (!m_speed)
        m_speed = new frmSpeed(*this);
    m_speed->setEnabled(true);
    m_speed->show();
    m_speed->Label5->setText(Label5->text());
    m_speed->setPowerCaption(Label3->text());
    m_speed->Label3->setToolTip(Label3->toolTip());
    m_speed->Label5->setToolTip(Label5->toolTip());
    m_speed->Label7->setText(Label7->text());
    m_speed->Label4->setText(Label4->text());
    m_speed->lblShotCount->setText(QString::number(m_session->shot_count));
    const int frameHeight = fmePower->height();
    fmePower->hide();
    fmeSpeed->hide();
    btnMax->hide();
    const int before = height();
    resize(width(), height() - frameHeight);
    // The layout may not let the window shrink by the whole frame; docking gives back only what
    // was taken, so that the window does not grow with every undocking.
    m_undockedBy = before - height();
}

void frmMain::dockSpeedPanel()
{
    setEnabled(true);
    fmePower->show();
    fmeSpeed->show();
    btnMax->show();
    resize(width(), height() + m_undockedBy);
    m_undockedBy = 0;
}

frmSpeed* frmMain::visibleSpeedPanel() const
{
    return m_speed && m_speed->isVisible() ? m_speed.data() : nullptr;
}
