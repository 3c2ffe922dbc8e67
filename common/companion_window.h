#pragma once

#include "closing_dialog.h"

// A window that works beside the main window rather than over it: it stays usable while the
// main window is disabled by another window (the chart keeps following live shots while the
// undocked speed panel holds the main window), and closes with the other windows at exit.
class CompanionWindow : public ClosingDialog {
    Q_OBJECT
public:
    explicit CompanionWindow(QWidget* owner);

protected:
    void changeEvent(QEvent* event) override;
};
