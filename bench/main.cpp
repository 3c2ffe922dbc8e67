// velmora-bench: every performance figure of the program in one Markdown table.
#include "figures.h"
#include "test_app.h"

#include <QApplication>
#include <QLocale>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    TestApp::clearSettings();
    std::printf("| figure | value | target |\n|---|---|---|\n");
    // "velmora-bench relay" (or capture, ced, chart, history, import, workbooks, recovery, linerate) reports one group only.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const auto wanted = [&only](const char* group) { return only.isEmpty() || only == QLatin1String(group); };
    if (wanted("capture"))
        captureFigures();
    if (wanted("recovery"))
        recoveryFigures();
    if (wanted("ced"))
        cedFigures();
    if (wanted("relay"))
        relayFigures();
    if (wanted("chart"))
        chartFigures();
    if (wanted("history"))
        historyFigures();
    if (wanted("import"))
        importFigures();
    if (wanted("workbooks"))
        workbookFigures();
    if (wanted("linerate"))
        lineRateFigures();
    return 0;
}
