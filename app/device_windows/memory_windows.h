#pragma once

#include <QString>

class frmMain;

// The chronograph families' memory windows and device readers, reached from the main window
// and the receive path.
void openChronyExtras(frmMain& main);
void openProChronoExtras(frmMain& main);
void openCedStatus(frmMain& main);

// Shooting Chrony memory mode: a reply collected up to ">" goes to the memory window.
void appendChronyOutput(frmMain& main, const QString& text);
// Closes every window opened from the main window, running each one's closing steps.
void closeOtherWindows(frmMain& main);
