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
    captureFigures();
    cedFigures();
    relayFigures();
    chartFigures();
    return 0;
}
