// velmora-bench: every performance figure of the program in one Markdown table.
#include "figures.h"
#include "test_app.h"

#include <QApplication>
#include <QLocale>
#include <cstdio>
#include <utility>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    TestApp::clearSettings();
    std::printf("| figure | value | target |\n|---|---|---|\n");
    // A group's name as argument runs that group alone.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const std::pair<const char*, void (*)()> groups[] = {{"capture", captureFigures}, {"ced", cedFigures},
                                                        {"relay", relayFigures},     {"chart", chartFigures},
                                                        {"history", historyFigures}};
    for (const auto& [name, run] : groups)
        if (only.isEmpty() || only == QLatin1String(name))
            run();
    return 0;
}
