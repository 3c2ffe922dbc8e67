// The shot table's statistics, clearing and deleting.
#include "frm_main.h"

#include "data_options/frm_pellet.h"
#include "main_window/flex_grid.h"
#include "main_window/list_lines.h"
#include "main_window/list_text.h"
#include "main_window/option_group.h"
#include "main_window/shot_columns.h"
#include "history/string_history.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "shot/record_shot.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kFpsColumn = shot_columns::kFps;
constexpr int kFtLbfColumn = shot_columns::kFtLbf;
} // namespace

void frmMain::resetStringState()
{
    last_fps = 0;
    last_ftlb = 0;
    stats.reset();
}

SummaryUnits frmMain::summaryUnits()
{
    SummaryUnits units;
    units.feetPerSecond = optSpeed->isSelected(1);
    units.powerIndex = optPower->isSelected(1) ? 1 : optPower->isSelected(2) ? 2 : optPower->isSelected(3) ? 3 : 0;
    if (units.powerIndex == 3 && MSFlexGrid1->Rows() > 1)
        units.grains = WeightInGrains(*this);
    return units;
}

void frmMain::writeSummaryRow()
{
    const bool anyShots = MSFlexGrid1->Rows() > 1;
    MSFlexGrid2->AddItem(summaryCells(stats, anyShots, summaryUnits()).join(separator));
    for (int c = 0; c < 9; ++c)
        MSFlexGrid2->setColWidth(c, kSummaryWidths[c]);
}

void frmMain::updateTotals()
{
    MSFlexGrid2->setRows(1);
    const int rows = MSFlexGrid1->Rows();
    stats.shotsInTable = regional::toInt16(rows - 1);
    StringStatistics fresh = stats;
    fresh.minFps = 9999;
    fresh.minFtLbf = 9999;
    fresh.maxFps = 0;
    fresh.maxFtLbf = 0;
    fresh.sumFps = 0;
    fresh.sumFtLbf = 0;
    fresh.sumSqFps = 0;

    if (rows > 1) {
        frmPellet& p = pellet();
        const list_lines::TrailingFields trailing{p.txtPelletMake->text(), p.txtCaliber->text(), p.txtMake->text(),
                                                  p.txtModel->text()};
        QString text = list_lines::longHeader(weightWord(), separator);
        text.reserve(text.size() + qsizetype(rows) * 160);
        for (int r = 1; r < rows; ++r) {
            const QStringList& cells = MSFlexGrid1->RowCells(r);
            fresh.add(regional::toNumberOrFail(cells.value(kFpsColumn)),
                      regional::toNumberOrFail(cells.value(kFtLbfColumn)));
            list_lines::appendDataLine(text, cells, r, trailing, separator);
        }
        Text1->setText(text);
        fresh.settle(fresh.shotsInTable);
        stats = fresh;
    } else {
        // The running sum of squares is only replaced when there are shots.
        fresh.sumSqFps = stats.sumSqFps;
        stats = fresh;
    }
    writeSummaryRow();
}

void frmMain::updateTotalsShot()
{
    MSFlexGrid2->setRows(1);
    const int rows = MSFlexGrid1->Rows();
    stats.shotsInTable = regional::toInt16(rows - 1);
    if (rows > 1) {
        const QStringList& cells = MSFlexGrid1->RowCells(rows - 1);
        stats.add(regional::toNumberOrFail(cells.value(kFpsColumn)),
                  regional::toNumberOrFail(cells.value(kFtLbfColumn)));
        stats.settle(stats.shotsInTable);
    }
    writeSummaryRow();
}

void frmMain::btnReset_Click()
{
    if (!m_services.prompt->confirm(QStringLiteral("Are you sure you want to clear the collected Data?")))
        return;
    history().stringEnding();
    MSFlexGrid1->setRows(1);
    last_fps = 0;
    last_ftlb = 0;
    setPowerCaption(QStringLiteral("0.00"));
    Label5->setText(QStringLiteral("0.00"));
    btnReset->setEnabled(false);
    btnSave->setEnabled(false);
    btnDelete->setEnabled(false);
    updateTotals();
    stats.reset();
    shot_count = 0;
}

void frmMain::btnDelete_Click()
{
    if (MSFlexGrid1->Rows() < 2)
        return; // no shot to delete: the header row is not one
    const int r = MSFlexGrid1->Row();
    const QString s = MSFlexGrid1->TextMatrix(r, 0);
    if (!m_services.prompt->confirm(QStringLiteral("Are you sure you want to delete shot ") + s + u'?'))
        return;
    const int before = MSFlexGrid1->Rows();
    if (before < 3) {
        btnReset->setEnabled(false);
        btnDelete->setEnabled(false);
        MSFlexGrid1->setRows(1);
        Text1->setText(list_lines::shortHeader(weightWord(), separator));
    } else {
        MSFlexGrid1->RemoveItem(r);
    }
    updateTotals();
    if (before < 3)
        resetStringState();
    MSFlexGrid1->setRow(MSFlexGrid1->Rows() - 1);
}
