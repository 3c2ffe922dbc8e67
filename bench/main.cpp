// velmora-bench: every performance figure of the program in one Markdown table; with names
// (capture, ced, relay, chart, import), only those groups.
#include "figures.h"
#include "test_app.h"

#include <QApplication>
#include <QLocale>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    TestApp::clearSettings();
    std::printf("| figure | value | target |\n|---|---|---|\n");
    const QStringList only = QApplication::arguments().mid(1);
    const std::pair<const char*, void (*)()> groups[] = {{"capture", captureFigures}, {"ced", cedFigures},
                                                         {"relay", relayFigures},     {"chart", chartFigures},
                                                         {"import", importFigures}};
    for (const auto& [name, run] : groups)
        if (only.isEmpty() || only.contains(QLatin1String(name)))
            run();
    return 0;
}
