#pragma once

// Each prints rows of the table "| figure | value | target |".
void captureFigures();
void cedFigures();
void relayFigures();
void chartFigures();
void lineRateFigures();
void recoveryFigures();
void historyFigures();
void importFigures();
void workbookFigures();
