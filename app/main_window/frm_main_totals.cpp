// The shot table's statistics, clearing and deleting.
#include "frm_main.h"

#include "data_options/frm_pellet.h"
#include "main_window/flex_grid.h"
#include "main_window/list_lines.h"
#include "main_window/list_text.h"
#include "main_window/option_group.h"
#include "history/string_history.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "shot/record_shot.h"
#include "string/shot_string.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

void frmMain::connectStringViews()
{
    // The shot table shows the string's records; the cells were made once, with the record.
    connect(m_string, &ShotString::appended, this, [this](int index) {
        MSFlexGrid1->AddRow(m_string->at(index).cells);
    });
    connect(m_string, &ShotString::removed, this, [this](int index) { MSFlexGrid1->RemoveItem(index + 1); });
    connect(m_string, &ShotString::reset, this, [this] {
        std::vector<QStringList> rows;
        rows.reserve(size_t(m_string->size()));
        for (const ShotRecord& r : m_string->records())
            rows.push_back(r.cells);
        MSFlexGrid1->setDataRows(std::move(rows));
    });
    m_string->setFieldsSource([this] {
        frmPellet& p = pellet();
        ShotString::Fields f;
        f.trailing = {p.txtPelletMake->text(), p.txtCaliber->text(), p.txtMake->text(), p.txtModel->text()};
        f.weightWord = weightWord();
        for (int c = 0; c < MSFlexGrid2->Cols(); ++c)
            f.summaryHeader.append(MSFlexGrid2->TextMatrix(0, c));
        f.extraInfo = p.txtExtraInfo->toPlainText();
        f.separator = m_shotSettings.separator;
        return f;
    });
}

void frmMain::resetStringState()
{
    m_session->last_fps = 0;
    m_session->last_ftlb = 0;
}

SummaryUnits frmMain::summaryUnits()
{
    SummaryUnits units;
    units.feetPerSecond = m_shotSettings.feetPerSecond();
    const int power = m_shotSettings.powerIndex;
    units.powerIndex = power >= 1 && power <= 3 ? power : 0;
    if (units.powerIndex == 3) {
        try {
            units.grains = m_shotSettings.weightInGrains();
        } catch (const std::exception&) {
            // The summary and the chart still follow the units: the string's own last weight.
            units.grains = m_string->empty() ? 0 : m_string->records().back().grains;
        }
    }
    return units;
}

StringUnits frmMain::stringUnits()
{
    StringUnits units;
    units.summary = summaryUnits();
    units.gunType = m_shotSettings.gunType;
    return units;
}

void frmMain::writeSummaryRow()
{
    const StringUnits units = stringUnits();
    m_string->setUnits(units);
    MSFlexGrid2->setSingleItem(
        summaryCells(m_string->statistics(), !m_string->empty(), units.summary).join(m_shotSettings.separator));
    for (int c = 0; c < 9; ++c)
        MSFlexGrid2->setColWidth(c, kSummaryWidths[c]);
}

void frmMain::updateTotals()
{
    MSFlexGrid2->setRows(1);
    if (!m_string->empty()) {
        frmPellet& p = pellet();
        const list_lines::TrailingFields trailing{p.txtPelletMake->text(), p.txtCaliber->text(), p.txtMake->text(),
                                                  p.txtModel->text()};
        QString text = list_lines::longHeader(weightWord(), m_shotSettings.separator);
        text.reserve(text.size() + qsizetype(m_string->size()) * 160);
        int running = 0;
        for (const ShotRecord& r : m_string->records())
            list_lines::appendDataLine(text, r.cells, ++running, trailing, m_shotSettings.separator);
        Text1->setText(text);
    }
    writeSummaryRow();
}

void frmMain::updateTotalsShot()
{
    // The string keeps its statistics shot by shot; the summary row shows them.
    writeSummaryRow();
}

void frmMain::btnReset_Click()
{
    if (!m_services.prompt->confirm(QStringLiteral("Are you sure you want to clear the collected Data?")))
        return;
    if (m_shutDown)
        return; // a signal ended the program while the question was open: the exit archived the string
    clearString();
}

void frmMain::clearString()
{
    // Shots arriving while the ending says something wait for the empty table.
    const ShotHold hold(*this);
    history().stringEnding();
    m_string->clear();
    m_session->last_fps = 0;
    m_session->last_ftlb = 0;
    setPowerCaption(QStringLiteral("0.00"));
    Label5->setText(QStringLiteral("0.00"));
    btnReset->setEnabled(false);
    btnSave->setEnabled(false);
    btnDelete->setEnabled(false);
    updateTotals();
    m_session->shot_count = 0;
}

void frmMain::btnDelete_Click()
{
    if (m_string->empty())
        return; // no shot to delete: the header row is not one
    const int r = std::clamp(MSFlexGrid1->Row(), 1, m_string->size());
    const QString s = m_string->at(r - 1).cells.value(0);
    if (!m_services.prompt->confirm(QStringLiteral("Are you sure you want to delete shot ") + s + u'?'))
        return;
    const int before = m_string->size() + 1;
    if (before < 3) {
        btnReset->setEnabled(false);
        btnDelete->setEnabled(false);
        m_string->clear();
        Text1->setText(list_lines::shortHeader(weightWord(), m_shotSettings.separator));
    } else {
        m_string->remove(r - 1);
    }
    updateTotals();
    if (before < 3)
        resetStringState();
    MSFlexGrid1->setRow(MSFlexGrid1->Rows() - 1);
}
