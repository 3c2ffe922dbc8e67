#include "import_command.h"

#include "import/string_importer.h"

#include <QTextStream>
#include <cstring>

bool isImportCommand(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--import") == 0)
            return true;
    return false;
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
        outcomes.push_back(importer.importFile(file, unit, now));
        const StringImporter::Outcome& o = outcomes.back();
        const bool bad = o.kind == StringImporter::Outcome::Kind::Refused ||
                         o.kind == StringImporter::Outcome::Kind::Failed;
        trouble = trouble || bad;
        QString message = o.message;
        if (bad && given == VelocityUnit::Unknown && message.contains(QLatin1String("fps or m/s")))
            message = message.chopped(1) + QStringLiteral(": give it with --unit fps or --unit m/s.");
        (bad ? err : out) << message << '\n';
    }
    out << "velmora: " << StringImporter::summary(outcomes) << '\n';
    out.flush();
    err.flush();
    return trouble ? 1 : 0;
}
