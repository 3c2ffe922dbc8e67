// Imported strings in the history: each string of a file becomes one entry with its source and
// label, the original is kept byte for byte and never touched, a session met twice adds nothing,
// an unknown unit is asked once a file, an import stopped at any step loses and doubles nothing; the History window's
// import, labels and statistics; the chart's ladder; and `velmora --import` from a shell.
#include "chart/frm_chart.h"
#include "history/frm_history.h"
#include "history/history_model.h"
#include "history/history_reader.h"
#include "history/import_job.h"
#include "history/string_archive.h"
#include "history/string_history.h"
#include "import/import_command.h"
#include "import/import_record.h"
#include "import/string_importer.h"
#include "main_window/frm_main.h"
#include "main_window/option_group.h"
#include "test_app.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QThread>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <algorithm>
#include <array>

namespace {

using Kind = StringImporter::Outcome::Kind;

QString sample(const QString& name)
{
    return QStringLiteral(VELMORA_IMPORT_FILES "/") + name;
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString folder()
{
    return StringArchive::defaultFolder();
}

const QDateTime kNow(QDate(2026, 12, 7), QTime(18, 0));

const StringImporter::UnitQuestion kNoAnswer = [](const QString&, const ImportedString&) {
    return VelocityUnit::Unknown;
};

// The entries the history lists (the CSVs of the folder, read back).
std::vector<ArchivedString> listed()
{
    std::vector<ArchivedString> strings = readHistoryFolder(folder());
    import_record::attach(strings);
    return strings;
}

// `count` lists of five velocities in fps, each its own session.
QStringList velocityLists(const QTemporaryDir& dir, int count)
{
    QStringList paths;
    QDir().mkpath(dir.filePath(QStringLiteral("lists")));
    for (int n = 0; n < count; ++n) {
        paths.append(dir.filePath(QStringLiteral("lists/list %1.csv").arg(n, 3, 10, QChar(u'0'))));
        QFile f(paths.back());
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write("Velocity (fps)\n");
        for (int i = 0; i < 5; ++i)
            f.write(QByteArray::number(800 + n + i * 0.5, 'f', 1) + '\n');
    }
    return paths;
}

// Every source has its string: what an import leaves is whole entries only.
bool noHalfEntries()
{
    const QDir dir(folder());
    for (const QString& name : dir.entryList({QStringLiteral("*.csv.source")}, QDir::Files))
        if (!dir.exists(name.chopped(7)))
            return false;
    return true;
}

QString copyToTemp(const QTemporaryDir& dir, const QString& name, const QString& as = {})
{
    const QString target = dir.filePath(as.isEmpty() ? name : as);
    QFile::remove(target);
    QFile::copy(sample(name), target);
    return target;
}

int rowOf(frmHistory& h, const QString& text, int column)
{
    for (int r = 0; r < h.shown().rowCount(); ++r)
        if (h.shown().index(r, column).data().toString().contains(text))
            return r;
    return -1;
}

QString writeTemp(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

const QByteArray kLoadTable = "Charge (gr);Shot 1 (fps);Shot 2 (fps);Shot 3 (fps);Average\n"
                              "37.5;2701;2710;2706;2705.7\n"
                              "38.0;2731;2735;2729;2731.7\n"
                              "38.5;2760;2771;2765;2765.3\n";

std::vector<Kind> kinds(const std::vector<StringImporter::Outcome>& outcomes)
{
    std::vector<Kind> out;
    for (const auto& o : outcomes)
        out.push_back(o.kind);
    return out;
}

void selectRows(frmHistory& h, std::initializer_list<int> rows)
{
    h.tblStrings->clearSelection();
    for (int r : rows)
        h.tblStrings->selectionModel()->select(h.shown().index(r, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

} // namespace

class TestImportHistory : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
        QDir(folder()).removeRecursively();
    }

    void eachFileBecomesOneEntryWithItsSourceAndOriginal()
    {
        const QStringList names{"xero-en-fps.csv", "xero-de-mps.csv", "SR0007 Report.csv", "blatt-semikolon.csv"};
        QStringList paths;
        for (const QString& n : names)
            paths.append(copyToTemp(m_dir, n));
        const QDateTime before = QFileInfo(paths.front()).lastModified();
        StringImporter importer(folder());
        const auto outcomes = importer.importFiles(paths, kNoAnswer, kNow);
        QCOMPARE(outcomes.size(), size_t(4));
        for (const auto& o : outcomes)
            QVERIFY2(o.kind == Kind::Added, qPrintable(o.message));
        QCOMPARE(outcomes[0].message,
                 QStringLiteral("\"xero-en-fps.csv\": 8 shots, 2776.5 to 2808.2 fps, from 105 hybrid 31.0gt, 6 April "
                                "2024."));
        QCOMPARE(StringImporter::summary(outcomes), QStringLiteral("4 strings imported."));

        // The originals are only read: unchanged, and kept byte for byte under Imported.
        QCOMPARE(QFileInfo(paths.front()).lastModified(), before);
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(bytesOf(paths[i]), bytesOf(sample(names[i])));
            const auto source = import_record::readSource(outcomes[size_t(i)].archived);
            QVERIFY(source);
            QCOMPARE(source->fileName, names[i]);
            QCOMPARE(bytesOf(QDir(folder()).filePath(source->original)), bytesOf(sample(names[i])));
            QCOMPARE(source->sha256, QString::fromLatin1(QCryptographicHash::hash(bytesOf(sample(names[i])),
                                                                                  QCryptographicHash::Sha256)
                                                             .toHex()));
        }

        // Listed like a captured string, its velocities in fps, its source shown.
        const std::vector<ArchivedString> strings = listed();
        QCOMPARE(strings.size(), size_t(4));
        const auto xero = std::find_if(strings.begin(), strings.end(),
                                       [](const ArchivedString& s) { return s.source.contains(u"xero-de"); });
        QVERIFY(xero != strings.end());
        QCOMPARE(xero->source, QStringLiteral("Garmin Xero C1 (ShotView CSV), xero-de-mps.csv"));
        QCOMPARE(xero->shots.size(), size_t(5));
        QVERIFY(qAbs(xero->shots[0].fps * 0.3048 - 488.3) < 1e-3);
        QCOMPARE(xero->shots[2].number, QStringLiteral("4")); // the device's own numbering
        QCOMPARE(xero->when, QDateTime(QDate(2025, 2, 8), QTime(10, 9, 12)));
        QCOMPARE(xero->grains, 158.0);
        QVERIFY(qAbs(xero->shots[0].ftLbf - 1602.034 * 1602.034 * 158 / 450240) < 0.01);
        QCOMPARE(xero->problem, QString());
    }

    void theSameFileTwiceAddsNothing()
    {
        StringImporter first(folder());
        const QString path = copyToTemp(m_dir, QStringLiteral("xero-en-fps.csv"));
        QCOMPARE(first.importFile(path, kNoAnswer, kNow).front().kind, Kind::Added);
        // Another run, another name, the same bytes.
        StringImporter second(folder());
        const QString renamed = copyToTemp(m_dir, QStringLiteral("xero-en-fps.csv"), QStringLiteral("copy.csv"));
        const auto again = second.importFiles({path, renamed}, kNoAnswer, kNow);
        QCOMPARE(again[0].kind, Kind::AlreadyThere);
        QCOMPARE(again[1].kind, Kind::AlreadyThere);
        QVERIFY(again[0].message.contains(QStringLiteral("is already in the history")));
        QVERIFY(again[0].message.endsWith(QStringLiteral("nothing was added.")));
        QCOMPARE(StringImporter::summary(again), QStringLiteral("0 strings imported, 2 already in the history."));
        QCOMPARE(listed().size(), size_t(1));
        QCOMPARE(QDir(folder()).entryList({QStringLiteral("*.csv")}, QDir::Files).size(), 1);
        QCOMPARE(QDir(folder()).entryList(QDir::Files).size(), 2); // the string and its source
    }

    void refusedFilesAddNothing()
    {
        QFile empty(m_dir.filePath(QStringLiteral("empty.csv")));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        StringImporter importer(folder());
        const auto outcomes = importer.importFiles(
            {empty.fileName(), m_dir.filePath(QStringLiteral("missing.csv")), m_dir.path()}, kNoAnswer, kNow);
        for (const auto& o : outcomes)
            QCOMPARE(o.kind, Kind::Refused);
        QCOMPARE(outcomes[0].message, QStringLiteral("\"empty.csv\" was not imported: the file is empty."));
        QVERIFY(outcomes[1].message.contains(QStringLiteral("cannot be read")));
        QVERIFY(outcomes[2].message.contains(QStringLiteral("is a folder")));
        QCOMPARE(StringImporter::summary(outcomes), QStringLiteral("0 strings imported, 3 refused."));
        QVERIFY(listed().empty());
        QVERIFY(!QDir(folder()).exists(StringImporter::importedFolderName()));
    }

    void anUnknownUnitIsAsked()
    {
        const QString path = copyToTemp(m_dir, QStringLiteral("velocities.txt"));
        QString askedFor;
        StringImporter importer(folder());
        // No answer: refused, nothing kept.
        QCOMPARE(importer.importFile(path, kNoAnswer, kNow).front().kind, Kind::Refused);
        QVERIFY(listed().empty());
        const auto metres = [&](const QString& name, const ImportedString&) {
            askedFor = name;
            return VelocityUnit::MetresPerSecond;
        };
        const auto o = importer.importFile(path, metres, kNow).front();
        QCOMPARE(o.kind, Kind::Added);
        QCOMPARE(askedFor, QStringLiteral("velocities.txt"));
        QCOMPARE(import_record::readSource(o.archived)->unit, QStringLiteral("m/s, as the user said"));
        QVERIFY(qAbs(listed().front().shots.front().fps - 912.5 / 0.3048) < 1e-3);
        // A unit the file gives is never asked.
        const auto never = [](const QString&, const ImportedString&) -> VelocityUnit {
            qFatal("asked for a unit the file gives");
        };
        QCOMPARE(importer.importFile(copyToTemp(m_dir, QStringLiteral("velocities-fps.txt")), never, kNow).front().kind,
                 Kind::Added);
    }

    void aFileThatDisagreesWithItselfSaysSo()
    {
        QByteArray bytes = bytesOf(sample(QStringLiteral("xero-en-fps.csv")));
        bytes.replace("STD DEV,9.4", "STD DEV,10.0"); // by n - 1: not the device's own convention
        const QString path = m_dir.filePath(QStringLiteral("edited.csv"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        StringImporter importer(folder());
        const auto o = importer.importFile(path, kNoAnswer, kNow).front();
        QCOMPARE(o.kind, Kind::Added);
        QVERIFY2(o.message.contains(QStringLiteral("Note: the file's deviation (÷ n) 10.0 fps is not its shots' 9.41")),
                 qPrintable(o.message));
        QCOMPARE(listed().front().problem, QStringLiteral("the file's deviation (÷ n) 10.0 fps is not its shots' 9.41"));
    }

    void anImportStoppedAtEachStepLosesAndDoublesNothing_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("after the original is kept") << int(StringImporter::Step::OriginalKept);
        QTest::newRow("after the source is written") << int(StringImporter::Step::SourceWritten);
    }

    void anImportStoppedAtEachStepLosesAndDoublesNothing()
    {
        QFETCH(int, step);
        const QString path = copyToTemp(m_dir, QStringLiteral("SR0012 Report.csv"));
        {
            StringImporter interrupted(folder());
            interrupted.stopAfter = [step](StringImporter::Step s) { return int(s) == step; };
            QCOMPARE(interrupted.importFile(path, kNoAnswer, kNow).front().kind, Kind::Failed);
        }
        QVERIFY(listed().empty()); // no half entry is listed
        QCOMPARE(bytesOf(path), bytesOf(sample(QStringLiteral("SR0012 Report.csv"))));
        // Imported again: done whole, once.
        StringImporter again(folder());
        QCOMPARE(again.importFile(path, kNoAnswer, kNow).front().kind, Kind::Added);
        QCOMPARE(StringImporter(folder()).importFile(path, kNoAnswer, kNow).front().kind, Kind::AlreadyThere);
        const auto strings = listed();
        QCOMPARE(strings.size(), size_t(1));
        QCOMPARE(strings.front().shots.size(), size_t(5));
        QCOMPARE(QDir(folder()).entryList({QStringLiteral("*")}, QDir::Files, QDir::Name).filter(u".csv.source").size(),
                 step == int(StringImporter::Step::SourceWritten) ? 2 : 1);
        QCOMPARE(QDir(folder()).entryList({QStringLiteral("*.csv")}, QDir::Files).size(), 1);
    }

    void aFileOfSeveralStringsGivesAnEntryEach()
    {
        const QString path = writeTemp(m_dir, QStringLiteral("loads.csv"), kLoadTable);
        StringImporter importer(folder());
        const auto outcomes = importer.importFile(path, kNoAnswer, kNow);
        QCOMPARE(kinds(outcomes), (std::vector<Kind>{Kind::Added, Kind::Added, Kind::Added}));
        QCOMPARE(outcomes[0].message,
                 QStringLiteral("\"loads.csv\" (37.5 gr): 3 shots, 2701.0 to 2710.0 fps, from loads."));
        QCOMPARE(StringImporter::summary(outcomes), QStringLiteral("3 strings imported."));
        // Each its own entry, labelled by its charge, all from the one kept original.
        std::vector<ArchivedString> strings = listed();
        std::sort(strings.begin(), strings.end(), [](const auto& a, const auto& b) { return a.label < b.label; });
        QCOMPARE(strings.size(), size_t(3));
        QCOMPARE(strings[1].label, QStringLiteral("38.0 gr"));
        QCOMPARE(strings[1].shots.size(), size_t(3));
        QCOMPARE(strings[1].shots[2].fps, 2729.0);
        QCOMPARE(strings[1].source, QStringLiteral("Load-development table, loads.csv"));
        QCOMPARE(QDir(QDir(folder()).filePath(StringImporter::importedFolderName())).entryList(QDir::Files).size(), 1);
        // Again, from another run: each string is there already.
        const auto again = StringImporter(folder()).importFile(path, kNoAnswer, kNow);
        QCOMPARE(kinds(again), (std::vector<Kind>{Kind::AlreadyThere, Kind::AlreadyThere, Kind::AlreadyThere}));
        QVERIFY(again[2].message.startsWith(QStringLiteral("\"loads.csv\" (38.5 gr) is already in the history")));
        QCOMPARE(listed().size(), size_t(3));
    }

    void aSessionMetTwiceIsImportedOnce()
    {
        StringImporter importer(folder());
        // Twice in one file.
        const QString twice = writeTemp(m_dir, QStringLiteral("twice.csv"),
                                        "Charge (gr);Shot 1 (fps);Shot 2 (fps)\n37.5;2701;2710\n37.5;2701;2710\n");
        QCOMPARE(kinds(importer.importFile(twice, kNoAnswer, kNow)),
                 (std::vector<Kind>{Kind::Added, Kind::AlreadyThere}));
        // In two files: a LabRadar report and the same report saved back through a spreadsheet.
        const QString report =
            copyToTemp(m_dir, QStringLiteral("real/SR0001 Report.csv"), QStringLiteral("SR0001.csv"));
        QString text = QString::fromLatin1(bytesOf(report).replace('\0', QByteArray()));
        text.remove(QStringLiteral("sep=;\r\n"));
        text.replace(u';', u',');
        const QString saved = writeTemp(m_dir, QStringLiteral("SR0001 saved.csv"), text.toLatin1());
        const auto outcomes = importer.importFiles({report, saved}, kNoAnswer, kNow);
        QCOMPARE(kinds(outcomes), (std::vector<Kind>{Kind::Added, Kind::AlreadyThere}));
        QCOMPARE(outcomes[1].archived, outcomes[0].archived);
        QCOMPARE(listed().size(), size_t(2));
        // Without a date or times, the same velocities in two files may be two strings: each is
        // known within its own file only.
        const auto fps = [](const QString&, const ImportedString&) { return VelocityUnit::Fps; };
        const QString a = writeTemp(m_dir, QStringLiteral("monday.txt"), "912.5\n915.1\n");
        const QString b = writeTemp(m_dir, QStringLiteral("tuesday.txt"), "912.5\n915.1\n\n");
        QCOMPARE(kinds(importer.importFiles({a, b, a}, fps, kNow)),
                 (std::vector<Kind>{Kind::Added, Kind::Added, Kind::AlreadyThere}));
    }

    void entriesOfOlderImportsAreStillKnownByTheirFile()
    {
        // Before sessions had fingerprints, a source named only its file's hash.
        const QString path = copyToTemp(m_dir, QStringLiteral("xero-en-fps.csv"));
        const QString added = StringImporter(folder()).importFile(path, kNoAnswer, kNow).front().archived;
        auto source = import_record::readSource(added);
        QVERIFY(source && !source->session.isEmpty());
        source->session.clear();
        QCOMPARE(import_record::writeSource(added, *source), QString());
        const auto again = StringImporter(folder()).importFile(path, kNoAnswer, kNow);
        QCOMPARE(kinds(again), std::vector<Kind>{Kind::AlreadyThere});
        QCOMPARE(again.front().archived, added);
    }

    void aFileStoppedBetweenItsStringsIsFinishedLater()
    {
        const QString path = writeTemp(m_dir, QStringLiteral("loads.csv"), kLoadTable);
        {
            StringImporter interrupted(folder());
            int sources = 0;
            interrupted.stopAfter = [&sources](StringImporter::Step s) {
                return s == StringImporter::Step::SourceWritten && ++sources == 2;
            };
            QCOMPARE(kinds(interrupted.importFile(path, kNoAnswer, kNow)),
                     (std::vector<Kind>{Kind::Added, Kind::Failed}));
        }
        QCOMPARE(listed().size(), size_t(1));
        const auto again = StringImporter(folder()).importFile(path, kNoAnswer, kNow);
        QCOMPARE(kinds(again), (std::vector<Kind>{Kind::AlreadyThere, Kind::Added, Kind::Added}));
        QCOMPARE(listed().size(), size_t(3));
    }

    void aFileWithoutItsUnitIsAskedOnce()
    {
        const QString path =
            writeTemp(m_dir, QStringLiteral("ladder.csv"), "Charge (gr),Velocity\n41.0,2801\n41.3,2812\n");
        int asked = 0;
        const auto fps = [&asked](const QString&, const ImportedString&) {
            ++asked;
            return VelocityUnit::Fps;
        };
        QCOMPARE(kinds(StringImporter(folder()).importFile(path, fps, kNow)),
                 (std::vector<Kind>{Kind::Added, Kind::Added}));
        QCOMPARE(asked, 1);
        // Known again without asking: the unit a user gives does not make it another session.
        QCOMPARE(kinds(StringImporter(folder()).importFile(path, kNoAnswer, kNow)),
                 (std::vector<Kind>{Kind::AlreadyThere, Kind::AlreadyThere}));
    }

    void anUnwritableHistoryFails()
    {
        QDir().mkpath(QFileInfo(folder()).path());
        QFile blocker(folder()); // a file where the folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        StringImporter importer(folder());
        const auto o =
            importer.importFile(copyToTemp(m_dir, QStringLiteral("xero-en-fps.csv")), kNoAnswer, kNow).front();
        QCOMPARE(o.kind, Kind::Failed);
        QVERIFY2(o.message.contains(QStringLiteral("could not be imported")), qPrintable(o.message));
        QFile::remove(folder());
    }

    void theHistoryWindowImportsLabelsAndCompares()
    {
        TestApp app;
        frmMain& m = app.start();
        frmHistory& h = m.history().showHistory();
        QCOMPARE(h.btnImport->text(), QStringLiteral("Import..."));
        app.files.nextOpen = {copyToTemp(m_dir, QStringLiteral("xero-en-fps.csv")),
                              copyToTemp(m_dir, QStringLiteral("velocities.txt")),
                              copyToTemp(m_dir, QStringLiteral("sheet-comma.csv"))};
        app.prompt.setNextAnswer(Prompt::Answer::Yes); // velocities.txt: fps
        app.prompt.setNextAnswer(Prompt::Answer::No);  // sheet-comma.csv: m/s
        app.prompt.shown.clear();
        h.btnImport_Click();
        QCOMPARE(app.files.lastTitle, QStringLiteral("Import Strings"));
        // The files are read while the window goes on; Import waits for the end.
        QVERIFY(h.importing() && h.prgImport->isVisible() && h.btnCancelImport->isVisible());
        QVERIFY(!h.btnImport->isEnabled());
        QCOMPARE(h.prgImport->maximum(), 3);
        QTRY_VERIFY(!h.importing());
        QVERIFY(!h.prgImport->isVisible() && h.btnImport->isEnabled());
        QCOMPARE(app.prompt.shown.size(), 3);
        QVERIFY(app.prompt.shown[0].text.contains(QStringLiteral("\"velocities.txt\" does not say in which unit")));
        QCOMPARE(app.prompt.shown[0].buttons, Prompt::Buttons::YesNo);
        const QString told = app.prompt.shown[2].text;
        QVERIFY2(told.startsWith(QStringLiteral("3 strings imported.\n\n\"xero-en-fps.csv\": 8 shots, 2776.5 to 2808.2 fps")),
                 qPrintable(told));
        QVERIFY(told.contains(QStringLiteral("Note: line 5 is not a velocity.")));
        QCOMPARE(h.model().rowCount(), 3);
        QCOMPARE(h.tblStrings->selectionModel()->selectedRows().size(), 3); // the new entries
        const int xero = rowOf(h, QStringLiteral("xero-en-fps.csv"), HistoryModel::Source);
        QVERIFY(xero >= 0);
        QCOMPARE(h.shown().headerData(HistoryModel::Source, Qt::Horizontal).toString(), QStringLiteral("Source"));
        QCOMPARE(h.shown().index(xero, HistoryModel::Shots).data().toString(), QStringLiteral("8"));
        QCOMPARE(h.shown().index(xero, HistoryModel::Projectile).data().toString(), QStringLiteral("105 hybrid 31.0gt"));

        // The same file again: nothing added, and the user told so.
        app.files.nextOpen = {m_dir.filePath(QStringLiteral("xero-en-fps.csv"))};
        h.btnImport_Click();
        QTRY_VERIFY(!h.importing());
        QVERIFY(app.prompt.shown.last().text.contains(QStringLiteral("is already in the history")));
        QCOMPARE(h.model().rowCount(), 3);

        // One string: its statistics with their intervals and the shots the deviation needs; by
        // the tables, t(0.95, 7) = 1.895 and chi-square(7) at 0.05 and 0.95 = 2.167 and 14.067.
        selectRows(h, {xero});
        QVERIFY2(h.lblStatistics->text().startsWith(QStringLiteral("Average 2793.0 fps (2786.3 to 2799.8 at 90 %); "
                                                                   "SD 10.1 fps (7.1 to 18.1 at 90 %, 8 shots).")),
                 qPrintable(h.lblStatistics->text()));
        QVERIFY(h.lblStatistics->text().contains(QStringLiteral("51 shots would pin the deviation")));

        // A label is kept with the archive and shown.
        h.txtLabel->setText(QStringLiteral("31.0 gr H4350"));
        h.btnLabel_Click();
        QCOMPARE(import_record::readLabel(h.selectedStrings().front().path), QStringLiteral("31.0 gr H4350"));
        const int labelled = rowOf(h, QStringLiteral("31.0 gr H4350"), HistoryModel::Label);
        QVERIFY(labelled >= 0);

        // Two strings: whether they differ beyond chance, in words.
        const int list = rowOf(h, QStringLiteral("velocities.txt"), HistoryModel::Source);
        selectRows(h, {labelled, list});
        QVERIFY2(h.lblStatistics->text().contains(QStringLiteral("The averages differ by ")),
                 qPrintable(h.lblStatistics->text()));
        QVERIFY(h.lblStatistics->text().contains(QStringLiteral("would arise by chance less than 1 time in 1000.")));

        // The chart compares them as a ladder under their labels.
        h.btnShow_Click();
        frmChart* chart = m.history().chartWindow();
        QVERIFY(chart);
        QVERIFY(chart->showsLadder());
        QVERIFY(chart->plotLadder->isVisible() && !chart->plotVelocity->isVisible());
        const auto& columns = chart->plotLadder->columns();
        QCOMPARE(columns.size(), size_t(2));
        const bool labelFirst = columns[0].label == QStringLiteral("31.0 gr H4350");
        const LadderPlot::Column& x = labelFirst ? columns[0] : columns[1];
        QCOMPARE(x.label, QStringLiteral("31.0 gr H4350"));
        QCOMPARE(x.values.size(), size_t(8));
        QVERIFY(x.low && x.high && *x.low < x.average && x.average < *x.high);
        QVERIFY(qAbs(x.average - 2793.0125) < 1e-6);
        QVERIFY(chart->lblStatistics->text().contains(QStringLiteral("31.0 gr H4350: Average 2793.0 fps")));
        const QImage image = chart->image();
        QVERIFY(!image.isNull());
        // One string alone is drawn shot by shot again.
        selectRows(h, {labelled});
        h.btnShow_Click();
        QVERIFY(!chart->showsLadder());

        // Deleting takes the source and label along; the kept original stays.
        selectRows(h, {rowOf(h, QStringLiteral("31.0 gr H4350"), HistoryModel::Label)});
        const QString path = h.selectedStrings().front().path;
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        h.btnDelete_Click();
        QVERIFY(!QFile::exists(path));
        QVERIFY(!QFile::exists(import_record::sourcePath(path)));
        QVERIFY(!QFile::exists(import_record::labelPath(path)));
        QCOMPARE(QDir(QDir(folder()).filePath(StringImporter::importedFolderName())).entryList(QDir::Files).size(), 3);
        chart->close();
        h.close();
    }

    void aJobReadsAheadAndArchivesInOrder()
    {
        QStringList paths = velocityLists(m_dir, 12);
        paths.insert(5, m_dir.filePath(QStringLiteral("missing.csv")));
        paths.insert(8, copyToTemp(m_dir, QStringLiteral("velocities.txt"))); // no unit: asked
        StringImporter importer(folder());
        QThread* askedOn = nullptr;
        int asked = 0;
        ImportJob job(importer, paths,
                      [&](const QString&, const ImportedString&) {
                          askedOn = QThread::currentThread();
                          ++asked;
                          return VelocityUnit::MetresPerSecond;
                      },
                      kNow);
        QSignalSpy progress(&job, &ImportJob::progressed);
        QSignalSpy finished(&job, &ImportJob::finished);
        job.start();
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(progress.size(), 14);
        QCOMPARE(progress.last().at(0).toInt(), 14);
        QCOMPARE(progress.at(5).at(2).toString(), QStringLiteral("missing.csv"));
        // In the files' order, whatever order the reads ended in; the question on the job's thread.
        QCOMPARE(job.outcomes().size(), size_t(14));
        for (int i = 0; i < 14; ++i)
            QCOMPARE(job.outcomes()[size_t(i)].path, paths[i]);
        QCOMPARE(job.outcomes()[5].kind, Kind::Refused);
        QCOMPARE(job.outcomes()[8].kind, Kind::Added);
        QCOMPARE(asked, 1);
        QCOMPARE(askedOn, QThread::currentThread());
        QCOMPARE(listed().size(), size_t(13));
        QVERIFY(!job.isCancelled());

        // A job given up mid-way (the window closed at the end) waits for its readers and ends.
        QDir(folder()).removeRecursively();
        StringImporter second(folder());
        auto* dropped = new ImportJob(second, velocityLists(m_dir, 12), kNoAnswer, kNow);
        QSignalSpy some(dropped, &ImportJob::progressed);
        dropped->start();
        QTRY_VERIFY(!some.isEmpty());
        delete dropped;
        QVERIFY(noHalfEntries());
        // No files: done at once.
        ImportJob none(importer, {}, kNoAnswer, kNow);
        QSignalSpy noneFinished(&none, &ImportJob::finished);
        none.start();
        QTRY_COMPARE(noneFinished.size(), 1);
    }

    void cancelStopsBetweenFilesAndTheRestComesLater()
    {
        TestApp app;
        frmMain& m = app.start();
        frmHistory& h = m.history().showHistory();
        const QStringList paths = velocityLists(m_dir, 40);
        app.prompt.shown.clear();
        h.importFiles(paths);
        QVERIFY(h.importing());
        // Cancel as the third file is done: the window took the click between two files.
        connect(h.importJob(), &ImportJob::progressed, &h, [&h](int done) {
            if (done == 3)
                h.btnCancelImport->click();
        });
        // Files dragged over the window meanwhile are refused, not queued.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(paths.front())});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&h, &enter);
        QVERIFY(!enter.isAccepted());
        QTRY_VERIFY(!h.importing());
        QCOMPARE(h.model().rowCount(), 3);
        QVERIFY(noHalfEntries());
        for (const ArchivedString& s : listed())
            QCOMPARE(s.shots.size(), size_t(5));
        QCOMPARE(app.prompt.shown.size(), 1);
        QVERIFY2(app.prompt.shown.last().text.startsWith(QStringLiteral(
                     "The import was cancelled after 3 of 40 files; the others were not imported. 3 strings imported.")),
                 qPrintable(app.prompt.shown.last().text));
        QCOMPARE(h.tblStrings->selectionModel()->selectedRows().size(), 3);

        // The same files again: the three are known, the others added, none twice.
        h.importFiles(paths);
        QTRY_VERIFY(!h.importing());
        QCOMPARE(h.model().rowCount(), 40);
        QVERIFY(app.prompt.shown.last().text.startsWith(
            QStringLiteral("37 strings imported, 3 already in the history.")));
        h.close();
    }

    void filesDroppedOnTheHistoryAreImported()
    {
        TestApp app;
        frmMain& m = app.start();
        frmHistory& h = m.history().showHistory();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(copyToTemp(m_dir, QStringLiteral("SR0007 Report.csv"))),
                      QUrl::fromLocalFile(copyToTemp(m_dir, QStringLiteral("xero-tempo-mps.csv"))),
                      QUrl(QStringLiteral("https://example.com/not-a-local-file.csv"))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&h, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&h, &drop);
        QVERIFY(drop.isAccepted());
        // The import runs after the drop has returned to the source application.
        QTRY_COMPARE(h.model().rowCount(), 2);
        QVERIFY(app.prompt.texts().last().startsWith(QStringLiteral("2 strings imported.")));

        // A load-development table: an entry a charge, labelled, and all of them selected.
        app.files.nextOpen = {writeTemp(m_dir, QStringLiteral("loads.csv"), kLoadTable)};
        h.btnImport_Click();
        QTRY_VERIFY(!h.importing());
        QCOMPARE(h.model().rowCount(), 5);
        QVERIFY(app.prompt.texts().last().startsWith(QStringLiteral("3 strings imported.")));
        QCOMPARE(h.tblStrings->selectionModel()->selectedRows().size(), 3);
        for (const char* label : {"37.5 gr", "38.0 gr", "38.5 gr"})
            QVERIFY2(rowOf(h, QString::fromLatin1(label), HistoryModel::Label) >= 0, label);
        // Shown together, they stand by charge.
        h.btnShow_Click();
        frmChart* chart = m.history().chartWindow();
        QVERIFY(chart && chart->showsLadder() && chart->plotLadder->chargeAxis());
        QCOMPARE(chart->plotLadder->chargeAxis()->charges, (std::vector<double>{37.5, 38.0, 38.5}));
        chart->close();
        h.close();
    }

    void theLadderRangeHoldsEveryShotAndInterval()
    {
        LadderPlot::Column a;
        a.values = {701.3, 699.8, 704.1};
        a.low = 698.2;
        a.high = 705.6;
        LadderPlot::Column b;
        b.values = {781.4, 779.9};
        const LadderPlot::Range r = LadderPlot::rangeFor({a, b});
        QCOMPARE(r.step, 20.0); // about five steps of 1, 2 or 5 times a power of ten
        QCOMPARE(r.low, 680.0);
        QCOMPARE(r.high, 800.0);
        LadderPlot::Column one;
        one.values = {2.5};
        const LadderPlot::Range flat = LadderPlot::rangeFor({one});
        QVERIFY(flat.low < 2.5 && flat.high > 2.5 && flat.step > 0);
        const LadderPlot::Range none = LadderPlot::rangeFor({});
        QVERIFY(none.low < none.high);
    }

    void theShellCommand()
    {
        QString out, err;
        QTextStream o(&out), e(&err);
        const QString list = copyToTemp(m_dir, QStringLiteral("velocities.txt"));
        const QString xero = copyToTemp(m_dir, QStringLiteral("xero-tempo-mps.csv"));
        QCOMPARE(runImportCommand({"--import", xero, list}, folder(), kNow, o, e), 1);
        QVERIFY(out.startsWith(QStringLiteral("\"xero-tempo-mps.csv\": 4 shots, 849.7 to 853.0 m/s")));
        QVERIFY(out.endsWith(QStringLiteral("velmora: 1 string imported, 1 refused.\n")));
        QVERIFY2(err.contains(QStringLiteral("give it with --unit fps or --unit m/s")), qPrintable(err));
        out.clear();
        err.clear();
        QCOMPARE(runImportCommand({"--import", "--unit", "fps", xero, list}, folder(), kNow, o, e), 0);
        QVERIFY(out.endsWith(QStringLiteral("velmora: 1 string imported, 1 already in the history.\n")));
        QCOMPARE(runImportCommand({"--import"}, folder(), kNow, o, e), 2);
        QCOMPARE(runImportCommand({"--import", "--unit", "knots", xero}, folder(), kNow, o, e), 2);
        QCOMPARE(listed().size(), size_t(2));

        // The hint is given only where the unit is what is missing.
        err.clear();
        const QString letter = writeTemp(m_dir, QStringLiteral("letter.txt"), "Dear Sir,\nthe rifle shoots well.\n");
        QCOMPARE(runImportCommand({"--import", letter}, folder(), kNow, o, e), 1);
        QVERIFY2(err.contains(QStringLiteral("fps or m/s")) && !err.contains(QStringLiteral("--unit")),
                 qPrintable(err));
    }

    void helpAndVersionPrintAndExit()
    {
        QString out, err;
        QTextStream o(&out), e(&err);
        for (const QStringList& args :
             {QStringList{"--help"}, QStringList{"-h"}, QStringList{"--import", "x", "--help"}}) {
            out.clear();
            QCOMPARE(runShellCommand(args, folder(), kNow, o, e), 0);
            QVERIFY2(out.startsWith(QStringLiteral("Usage: velmora [--import [--unit fps|m/s] FILE...]\n")),
                     qPrintable(out));
        }
        out.clear();
        QCOMPARE(runShellCommand({"--version"}, folder(), kNow, o, e), 0);
        QCOMPARE(out, QStringLiteral("Velmora v1.6\n"));
        QCOMPARE(err, QString());
        QVERIFY(!QDir(folder()).exists()); // nothing imported, nothing created
        std::array<char*, 2> argv{const_cast<char*>("velmora"), const_cast<char*>("--version")};
        QVERIFY(isShellCommand(2, argv.data()));
        argv[1] = const_cast<char*>("--fullscreen");
        QVERIFY(!isShellCommand(2, argv.data()));
    }
};

QTEST_MAIN(TestImportHistory)
#include "tst_import_history.moc"
