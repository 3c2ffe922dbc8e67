#include "import_command.h"

#include "import/string_importer.h"

#include <QTextStream>
#include <algorithm>
#include <cstring>

#ifndef VELMORA_VERSION_MAJOR
#define VELMORA_VERSION_MAJOR 1
#define VELMORA_VERSION_MINOR 6
#endif

namespace {

bool asksHelp(const QString& a)
{
    return a == QLatin1String("--help") || a == QLatin1String("-h");
}

const char* const kUsage =
    "Usage: velmora [--import [--unit fps|m/s] FILE...]\n"
    "\n"
    "Without options, Velmora opens its window.\n"
    "\n"
    "  --import FILE...   import the exports of chronographs (ShotView CSV, LabRadar reports and\n"
    "                     series, spreadsheets of velocities or of load development) into the\n"
    "                     history, print what each gave, and exit: 0 when every file was imported\n"
    "                     or already there, 1 when one was refused or could not be written, 2 when\n"
    "                     the command is wrong\n"
    "  --unit fps|m/s     the unit of the velocities in files that do not say it\n"
    "  -h, --help         print this help and exit\n"
    "  --version          print the version and exit\n";

} // namespace

QString versionText()
{
    return QStringLiteral("Velmora v%1.%2").arg(VELMORA_VERSION_MAJOR).arg(VELMORA_VERSION_MINOR);
}

bool isShellCommand(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        for (const char* option : {"--import", "--help", "-h", "--version"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

int runShellCommand(const QStringList& arguments, const QString& historyFolder, const QDateTime& now, QTextStream& out,
                    QTextStream& err)
{
    if (std::any_of(arguments.begin(), arguments.end(), asksHelp)) {
        out << kUsage;
        out.flush();
        return 0;
    }
    if (arguments.contains(QStringLiteral("--version"))) {
        out << versionText() << '\n';
        out.flush();
        return 0;
    }
    return runImportCommand(arguments, historyFolder, now, out, err);
}

int runImportCommand(const QStringList& arguments, const QString& historyFolder, const QDateTime& now,
                     QTextStream& out, QTextStream& err)
{
    QStringList files;
    VelocityUnit given = VelocityUnit::Unknown;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--import"))
            continue;
        if (a == QLatin1String("--unit")) {
            const QString unit = arguments.value(++i).toLower();
            if (unit == QLatin1String("fps"))
                given = VelocityUnit::Fps;
            else if (unit == QLatin1String("m/s") || unit == QLatin1String("mps"))
                given = VelocityUnit::MetresPerSecond;
            else {
                err << "velmora: --unit takes fps or m/s, not \"" << unit << "\".\n";
                return 2;
            }
            continue;
        }
        files.append(a);
    }
    if (files.isEmpty()) {
        err << "velmora: --import needs the files to import: velmora --import [--unit fps|m/s] FILE...\n";
        return 2;
    }
    StringImporter importer(historyFolder);
    const auto unit = [given](const QString&, const ImportedString&) { return given; };
    bool trouble = false;
    std::vector<StringImporter::Outcome> outcomes;
    outcomes.reserve(size_t(files.size()));
    for (const QString& file : files) {
        for (StringImporter::Outcome& o : importer.importFile(file, unit, now)) {
            const bool bad =
                o.kind == StringImporter::Outcome::Kind::Refused || o.kind == StringImporter::Outcome::Kind::Failed;
            trouble = trouble || bad;
            QString message = o.message;
            if (o.unitMissing)
                message = message.chopped(1) + QStringLiteral(": give it with --unit fps or --unit m/s.");
            (bad ? err : out) << message << '\n';
            outcomes.push_back(std::move(o));
        }
    }
    out << "velmora: " << StringImporter::summary(outcomes) << '\n';
    out.flush();
    err.flush();
    return trouble ? 1 : 0;
}
