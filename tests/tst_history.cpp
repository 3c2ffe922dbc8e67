// The string archive: a string is archived when it is cleared and at a normal exit, as the
// bytes "Save Capture" writes as CSV; a crash's replay archives nothing twice; the history
// window reads the archive back, hand-edited and broken files included.
#include "chart/frm_chart.h"
#include "chart/shot_plot.h"
#include "data_options/frm_pellet.h"
#include "history/frm_history.h"
#include "history/history_model.h"
#include "history/history_reader.h"
#include "history/string_archive.h"
#include "history/string_history.h"
#include "main_window/capture_files.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/option_group.h"
#include "services/regional.h"
#include "shot/record_shot.h"
#include "string/shot_string.h"
#include "test_app.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString folder()
{
    return StringArchive::defaultFolder();
}

QStringList archived()
{
    return QDir(folder()).entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray archivedBytes(int index = 0)
{
    return readAll(QDir(folder()).filePath(archived().value(index)));
}

void writeFile(const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(folder());
    QFile f(QDir(folder()).filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void setUpString(TestApp& app, frmMain& m)
{
    frmPellet& p = m.pellet();
    p.txtMake->setText(QStringLiteral("Air Arms"));
    p.txtModel->setText(QStringLiteral("S400"));
    p.txtPelletMake->setText(QStringLiteral("JSB Exact, Heavy"));
    p.txtWeight->setText(QLocale().toString(10.34, 'f', 2)); // as typed in the user's format
    p.txtExtraInfo->setPlainText(QStringLiteral("Range 10m, 15C"));
    app.clock.set(QDateTime(QDate(2026, 12, 6), QTime(1, 30, 0)));
}

void shoot(TestApp& app, frmMain& m, const QList<double>& velocities)
{
    for (double fps : velocities) {
        RecordShot(m, fps);
        app.clock.advance(7);
    }
}

// What "Save Capture" writes as CSV now.
QByteArray saveCaptureCsv(TestApp& app, frmMain& m, const QString& path)
{
    app.files.next = FileChooser::Choice{path, 1};
    m.btnSave_Click();
    m.setEnabled(true);
    return readAll(path);
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
        QDir(folder()).removeRecursively();
    }

    void clearingArchivesTheStringAsSaveCaptureWritesIt()
    {
        TestApp app;
        frmMain& m = app.start();
        setUpString(app, m);
        shoot(app, m, {801.2, 795.7, 808.4});
        m.optSpeed->select(2); // the summary in m/s, as Save Capture would write it
        const QByteArray expected = saveCaptureCsv(app, m, m_dir.filePath(QStringLiteral("clear.csv")));
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnReset_Click();
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        QCOMPARE(archived(), QStringList{QStringLiteral("2026-12-06 01-30-21 Air Arms S400 - JSB Exact Heavy.csv")});
        QCOMPARE(archivedBytes(), expected);

        // Answering No archives nothing; a cleared empty table archives nothing.
        shoot(app, m, {790});
        app.prompt.setNextAnswer(Prompt::Answer::No);
        m.btnReset_Click();
        QCOMPARE(archived().size(), 1);
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnReset_Click();
        QCOMPARE(archived().size(), 2);
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnReset_Click();
        QCOMPARE(archived().size(), 2);
    }

    void normalExitArchivesOnce()
    {
        QByteArray expected;
        {
            TestApp app;
            frmMain& m = app.start();
            setUpString(app, m);
            shoot(app, m, {801.2, 795.7});
            expected = saveCaptureCsv(app, m, m_dir.filePath(QStringLiteral("exit.csv")));
            app.exit();
        }
        QCOMPARE(archived().size(), 1);
        QCOMPARE(archivedBytes(), expected);
        // The next run starts with an empty cache and archives nothing of the last one.
        TestApp app(true);
        app.start();
        app.exit();
        QCOMPARE(archived().size(), 1);
    }

    void archivingCanBeSwitchedOff()
    {
        TestApp::setSetting(QStringLiteral("ArchiveStrings"), 0);
        {
            TestApp app;
            frmMain& m = app.start();
            QVERIFY(!m.pellet().chkArchiveStrings->isChecked());
            shoot(app, m, {800});
            app.prompt.setNextAnswer(Prompt::Answer::Yes);
            m.btnReset_Click();
            QVERIFY(archived().isEmpty());
            m.pellet().chkArchiveStrings->click();
            QVERIFY(StringHistory::archivingOn());
            shoot(app, m, {801});
        }
        QCOMPARE(archived().size(), 1);
        TestApp::clearSettings();
        QVERIFY(StringHistory::archivingOn()); // on by default
    }

    void aFailedArchiveIsKeptAndWrittenLater()
    {
        // A file where the folder should be.
        QDir().mkpath(QFileInfo(folder()).path());
        auto block = [] {
            QFile blocker(folder());
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        };
        block();
        QTemporaryDir saved;
        QByteArray first, second, third;
        {
            TestApp app;
            frmMain& m = app.start();
            setUpString(app, m);
            shoot(app, m, {800, 801});
            first = saveCaptureCsv(app, m, saved.filePath(QStringLiteral("first.csv")));
            app.prompt.setNextAnswer(Prompt::Answer::Yes);
            m.btnReset_Click();
            QVERIFY(app.prompt.texts().last().startsWith(QStringLiteral("The string could not be archived: ")));
            QCOMPARE(m.MSFlexGrid1->Rows(), 1); // the clearing goes on

            // The next ending still fails: the user is not told again about the first string.
            shoot(app, m, {802});
            const qsizetype told = app.prompt.texts().size();
            QFile::remove(folder());
            // Once the folder can be made, the next ending writes the kept string before its own.
            shoot(app, m, {803});
            second = saveCaptureCsv(app, m, saved.filePath(QStringLiteral("second.csv")));
            app.prompt.setNextAnswer(Prompt::Answer::Yes);
            m.btnReset_Click();
            QCOMPARE(app.prompt.texts().size(), told + 1); // only the question of the clearing
            QCOMPARE(archived().size(), 2);
            QCOMPARE(archivedBytes(0), first);
            QCOMPARE(archivedBytes(1), second);

            // A failure at the exit: the string waits in the ledger for the next start.
            QDir(folder()).removeRecursively();
            block();
            app.clock.advance(60);
            shoot(app, m, {810, 811, 812});
            third = saveCaptureCsv(app, m, saved.filePath(QStringLiteral("third.csv")));
            app.exit();
            QVERIFY(app.prompt.texts().last().startsWith(QStringLiteral("The string could not be archived: ")));
            QVERIFY(app.prompt.texts().last().contains(QStringLiteral("when there is room")));
        }
        // The exit leaves the rows of the string it could not write; the archived ones go.
        QCOMPARE(TestApp::cacheRows().size(), 3);
        QFile::remove(folder());
        TestApp app(true);
        frmMain& m = app.start();
        QCOMPARE(m.MSFlexGrid1->Rows(), 1); // nothing to replay: the string was kept, not lost
        QCOMPARE(archived().size(), 1);
        QCOMPARE(archivedBytes(0), third);
        app.exit();
        QCOMPARE(archived().size(), 1);
        QVERIFY(TestApp::cacheRows().isEmpty());
    }

    void archivedStringsKeepTheirGunTypeAndWeightUnit()
    {
        TestApp app;
        frmMain& m = app.start();
        setUpString(app, m);
        m.pellet().optType->select(12);
        m.pellet().selWeight->select(0);
        shoot(app, m, {800});
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnReset_Click();
        m.pellet().optType->select(6);
        m.pellet().selWeight->select(1);
        const std::vector<ArchivedString> strings = readHistoryFolder(folder());
        QCOMPARE(strings.size(), size_t(1));
        QCOMPARE(strings[0].gunType, 12);
        QCOMPARE(strings[0].weightUnit, QStringLiteral("Grammes"));
        app.exit();
    }

    // Grains and grammes switched during a string: the heading has the last unit, each row its
    // own; the weight for the factor's average is read in the unit its row was shot with.
    void aRowsWeightIsReadInItsOwnUnit()
    {
        const QByteArray tail = ",JSB,.177,Air Arms,S400\r\n";
        const QByteArray grainsHeading = "Shot,Date/Time,Make/Model,Grains,fps,m/s,Ft.Lbf,Joules,IPSC-F,Pellet Name,"
                                         "Caliber,Gun Make,Gun Model\r\n";
        const QByteArray grammesHeading = QByteArray(grainsHeading).replace("Grains", "Grammes");
        // 0.547 g is 8.442 gr: 800 fps gives 12.00 ft·lbf; 8.44 gr gives 12.00 too, 0.547 gr 0.78.
        const QByteArray typedInGrammes = "1,06/12/2026 01:30:00,Air Arms S400 JSB,0.547,800.00,243.84,12.00,16.27,6.8" + tail;
        const QByteArray typedInGrains = "1,06/12/2026 01:30:00,Air Arms S400 JSB,8.44,800.00,243.84,12.00,16.27,6.8" + tail;
        QCOMPARE(parseArchivedString(grainsHeading + typedInGrammes).grains, 8.442);
        QCOMPARE(parseArchivedString(grammesHeading + typedInGrains).grains, 8.44);
        QCOMPARE(parseArchivedString(grammesHeading + typedInGrammes).grains, 8.442);
        QCOMPARE(parseArchivedString(grainsHeading + typedInGrains).grains, 8.44);
    }

    // Nothing a file in the folder holds stops the window from opening, the chart from drawing
    // or a Clear from clearing; each file is read as far as it can be.
    void brokenFilesAreReadAsFarAsTheyCanBe()
    {
        const QByteArray header = "Shot,Date/Time,Make/Model,Grains,fps,m/s,Ft.Lbf,Joules,IPSC-F,Pellet Name,Caliber,"
                                  "Gun Make,Gun Model\r\n";
        auto shotLine = [](int n, const char* fps) {
            return QByteArray::number(n) + ",06/12/2026 01:30:00,Air Arms S400 JSB,8.44," + fps +
                   ",243.84,12.00,16.27,6.8,JSB,.177,Air Arms,S400\r\n";
        };
        // Longer than the shot table's 16-bit count.
        QByteArray longest = header;
        for (int i = 1; i <= 40000; ++i)
            longest += shotLine(i, i % 2 ? "800.00" : "810.00");
        const ArchivedString l = parseArchivedString(longest);
        QCOMPARE(int(l.shots.size()), 40000);
        QCOMPARE(l.problem, QString());
        // Absurd and non-finite figures are problems, not shots.
        const ArchivedString a =
            parseArchivedString(header + shotLine(1, "800.00") + shotLine(2, "1.7e308") + shotLine(3, "inf"));
        QCOMPARE(int(a.shots.size()), 1);
        QCOMPARE(a.problem, QStringLiteral("line 3: a velocity or energy is not a number (and 1 more)"));
        // Figures as a hand or a spreadsheet may write them read as the program's own.
        const ArchivedString w = parseArchivedString(header + shotLine(1, "+800.5") + shotLine(2, " 8.005E2 ") +
                                                      shotLine(3, "800.5000000000000000000000000001") +
                                                      shotLine(4, "8OO.5") + shotLine(5, "800.5x"));
        QCOMPARE(int(w.shots.size()), 3);
        for (const ChartShot& shot : w.shots)
            QCOMPARE(shot.fps, 800.5);
        QCOMPARE(w.problem, QStringLiteral("line 5: a velocity or energy is not a number (and 1 more)"));
        // Commas added to the names after the figures, and a quoted make with a comma.
        const ArchivedString c = parseArchivedString(
            header +
            "1,06/12/2026 01:30:00,Air Arms S400 JSB,8.44,800.00,243.84,12.00,16.27,6.8,JSB, Exact,.177,Air Arms,S4,00\r\n"
            "2,06/12/2026 01:30:07,\"Air Arms, S400\",8.44,801.00,244.14,12.03,16.31,6.8,JSB,.177,Air Arms,S400\r\n");
        QCOMPARE(c.problem, QString());
        QCOMPARE(int(c.shots.size()), 2);
        QCOMPARE(c.shots[0].fps, 800.0);
        QCOMPARE(c.shots[1].fps, 801.0);
        QCOMPARE(c.projectile, QStringLiteral("JSB"));
        // A spreadsheet's re-save in a comma locale.
        const ArchivedString sc = parseArchivedString(
            "Shot;Date/Time;Make/Model;Grammes;fps;m/s;Ft.Lbf;Joules;IPSC-F;Pellet Name;Caliber;Gun Make;Gun Model\r\n"
            "1;06/12/2026 01:30:00;Air Arms S400 JSB;0,547;800,25;243,92;12,00;16,27;6,8;JSB;4,5;Air Arms;S400\r\n");
        QCOMPARE(sc.problem, QString());
        QCOMPARE(int(sc.shots.size()), 1);
        QCOMPARE(sc.shots[0].fps, 800.25);
        QCOMPARE(sc.shots[0].ipscFactor, 6.8);
        QCOMPARE(sc.weightUnit, QStringLiteral("Grammes"));
        QVERIFY(std::abs(sc.grains - 8.44) < 0.01);
        // A line longer than any string's, and a file of nothing but line ends.
        const ArchivedString t =
            parseArchivedString(header + shotLine(1, "800.00") + QByteArray(200 * 1024, 'x') + "\r\n" + shotLine(3, "801.00"));
        QCOMPARE(int(t.shots.size()), 2);
        QCOMPARE(t.problem, QStringLiteral("line 3 is too long"));
        const QByteArray newlines(8 * 1024 * 1024, '\n');
        QVERIFY(parseArchivedString(newlines).problem.startsWith(QStringLiteral("not a Velmora CSV")));

        writeFile(QStringLiteral("long.csv"), longest);
        writeFile(QStringLiteral("absurd.csv"), header + shotLine(1, "800.00") + shotLine(2, "1.7e308"));
        writeFile(QStringLiteral("newlines.csv"), newlines);
        writeFile(QStringLiteral("semicolons.csv"),
                  "Shot;Date/Time;Make/Model;Grains;fps;m/s;Ft.Lbf;Joules;IPSC-F;Pellet Name;Caliber;Gun Make;Gun "
                  "Model\r\n1;06/12/2026 01:30:00;x;8,44;800,25;243,92;12,00;16,27;6,8;JSB;4,5;Air Arms;S400\r\n");
        TestApp app;
        frmMain& m = app.start();
        frmHistory& h = m.history().showHistory();
        QCOMPARE(h.model().rowCount(), 4);
        h.tblStrings->selectAll();
        h.btnShow->click();
        frmChart* chart = m.history().chartWindow();
        QVERIFY(chart);
        QCOMPARE(chart->series().size(), size_t(4));
        (void)chart->grab(); // draws, in bounded time, whatever the values

        // With the window open on these files, a Clear archives the string once and clears.
        shoot(app, m, {800, 801});
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnReset_Click();
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        QCOMPARE(archived().size(), 5);
        QCOMPARE(h.model().rowCount(), 5);
        app.exit();
        QCOMPARE(archived().size(), 5);
    }

    void thePlotKeepsFiniteRanges()
    {
        ShotPlot plot(QStringLiteral("Velocity"));
        plot.resize(400, 300);
        plot.setLines({{QStringLiteral("a"), Qt::blue, {800, 1.7e308, -1.7e308, 810}, std::nullopt, std::nullopt}});
        plot.setLimit(std::numeric_limits<double>::max());
        QImage image(plot.size(), QImage::Format_ARGB32);
        QPainter painter(&image);
        plot.render(painter, plot.size()); // returns: the label loop is bounded
        painter.end();
        plot.append(0, 1e300);
        (void)plot.grab();
    }

    void aCrashReplayArchivesEachStringOnce()
    {
        {
            TestApp app;
            frmMain& m = app.start();
            setUpString(app, m);
            shoot(app, m, {780, 781, 782});
            app.prompt.setNextAnswer(Prompt::Answer::Yes);
            m.btnReset_Click(); // string A archived
            shoot(app, m, {790, 791});
            app.abandon(); // string B interrupted
        }
        QCOMPARE(archived().size(), 1);
        {
            // The replay brings B back alone (A is in the history); a second crash before it ends.
            TestApp app(true);
            frmMain& m = app.start();
            QCOMPARE(m.MSFlexGrid1->Rows() - 1, 2);
            app.abandon();
        }
        QByteArray expected;
        {
            TestApp app(true);
            frmMain& m = app.start();
            setUpString(app, m);
            app.clock.set(QDateTime(QDate(2026, 12, 7), QTime(9, 0, 0)));
            QCOMPARE(m.MSFlexGrid1->Rows() - 1, 2);
            QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 0), QStringLiteral("1"));
            m.MSFlexGrid1->setRow(1);
            app.prompt.setNextAnswer(Prompt::Answer::Yes);
            m.btnDelete_Click();
            shoot(app, m, {792});
            expected = m.string().csvBytes();
            app.exit();
        }
        QCOMPARE(archived().size(), 2);
        QCOMPARE(archivedBytes(1), expected);
        const ArchivedString b = readArchivedString(QDir(folder()).filePath(archived()[1]));
        QCOMPARE(int(b.shots.size()), 2);
        QCOMPARE(b.shots[0].fps, 791.0);
        QCOMPARE(b.shots[1].fps, 792.0);
    }

    void fileNamesAreSafeAndUnique()
    {
        const QDateTime when(QDate(2026, 12, 6), QTime(1, 30, 0));
        QCOMPARE(StringArchive::fileName(when, QStringLiteral("S&W  M/10"), QStringLiteral("../é JSB")),
                 QStringLiteral("2026-12-06 01-30-00 S W M 10 - JSB.csv"));
        QCOMPARE(StringArchive::fileName(when, QString(), QString()), QStringLiteral("2026-12-06 01-30-00.csv"));
        StringArchive archive(m_dir.filePath(QStringLiteral("unique")));
        const QString first = archive.write("a", when, QStringLiteral("G"), QStringLiteral("P")).path;
        const QString second = archive.write("b", when, QStringLiteral("G"), QStringLiteral("P")).path;
        QVERIFY(first.endsWith(QStringLiteral("/2026-12-06 01-30-00 G - P.csv")));
        QVERIFY(second.endsWith(QStringLiteral("/2026-12-06 01-30-00 G - P (2).csv")));
        QCOMPARE(readAll(first), QByteArray("a"));
    }

    void readsArchivesBackWithTheSummaryArithmetic_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("point") << QStringLiteral("en_GB");
        QTest::newRow("comma") << QStringLiteral("de_DE");
    }

    // In a comma locale too: the file has points, the summary commas, and both give one figure.
    void readsArchivesBackWithTheSummaryArithmetic()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        TestApp app;
        frmMain& m = app.start();
        setUpString(app, m);
        m.pellet().selWeight->select(0); // grammes: 10.34 grains becomes 0.670
        shoot(app, m, {801.2, 795.7, 808.4});
        const QStringList summary{m.MSFlexGrid2->TextMatrix(1, 3), m.MSFlexGrid2->TextMatrix(1, 4),
                                  m.MSFlexGrid2->TextMatrix(1, 5)};
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnReset_Click();
        const ArchivedString s = readArchivedString(QDir(folder()).filePath(archived().value(0)));
        QVERIFY2(s.problem.isEmpty(), qPrintable(s.problem));
        QCOMPARE(int(s.shots.size()), 3);
        QCOMPARE(s.gun, QStringLiteral("Air Arms S400"));
        QCOMPARE(s.projectile, QStringLiteral("JSB Exact. Heavy"));
        QCOMPARE(s.when, QDateTime(QDate(2026, 12, 6), QTime(1, 30, 0)));
        QCOMPARE(s.grains, 10.34);
        ChartSeries series;
        series.reset(s.shots);
        QCOMPARE(regional::format2(series.figures().avgSpeed), summary[0]);
        QCOMPARE(regional::format2(series.figures().spread), summary[1]);
        QCOMPARE(regional::format2(series.figures().deviation), summary[2]);
    }

    void toleratesEditedAndBrokenFiles()
    {
        const QByteArray header = "Shot,Date/Time,Make/Model,Grains,fps,m/s,Ft.Lbf,Joules,IPSC-F,Pellet Name,Caliber,"
                                  "Gun Make,Gun Model\r\n";
        // An editor's BOM and LF line ends, a comma added to a make, a line cut short, a word
        // where a velocity was.
        const QByteArray edited = "\xEF\xBB\xBF" + QByteArray(header).replace("\r\n", "\n") +
                                  "1,06/12/2026 01:30:00,Air Arms, S400 JSB,8.44,800.00,243.84,12.00,16.27,6.8,JSB,.177,"
                                  "Air Arms,S400\n"
                                  "2,06/12/2026 01:30:07,Air Arms S400 JSB,8.44,810.00,246.89,12.30,16.68,6.8,JSB,.177,"
                                  "Air Arms,S400\n"
                                  "3,06/12/2026 01:30:14,Air Arms S400 JSB\n"
                                  "4,06/12/2026 01:30:21,Air Arms S400 JSB,8.44,fast,0,0,0,0,JSB,.177,Air Arms,S400\n"
                                  "\nShots,Min fps,\n";
        const ArchivedString e = parseArchivedString(edited);
        QCOMPARE(int(e.shots.size()), 2);
        QCOMPARE(e.shots[1].fps, 810.0);
        QCOMPARE(e.gun, QStringLiteral("Air Arms S400"));
        QCOMPARE(e.problem, QStringLiteral("line 4 has 3 fields instead of 13 (and 1 more)"));
        QVERIFY(parseArchivedString("hello\r\n").problem.startsWith(QStringLiteral("not a Velmora CSV")));
        QVERIFY(parseArchivedString("").problem.startsWith(QStringLiteral("not a Velmora CSV")));
        QCOMPARE(parseArchivedString(header + "\r\n").problem, QStringLiteral("it holds no shots"));

        writeFile(QStringLiteral("2026-01-01 10-00-00 edited.csv"), edited);
        writeFile(QStringLiteral("broken.csv"), QByteArray("\x00\x01\x02garbage", 10));
        writeFile(QStringLiteral("notes.txt"), "not listed");
        TestApp app;
        frmMain& m = app.start();
        frmHistory& h = m.history().showHistory();
        QCOMPARE(h.model().rowCount(), 2);
        QSortFilterProxyModel& shown = h.shown();
        QStringList problems;
        for (int r = 0; r < shown.rowCount(); ++r)
            problems.append(shown.index(r, HistoryModel::Problem).data().toString());
        QVERIFY(problems.contains(QStringLiteral("line 4 has 3 fields instead of 13 (and 1 more)")));
        QVERIFY(problems.filter(QStringLiteral("not a Velmora CSV")).size() == 1);
        h.close();
    }

    void theHistoryWindowListsFiltersComparesAndDeletes()
    {
        TestApp app;
        frmMain& m = app.start();
        setUpString(app, m);
        shoot(app, m, {801.2, 795.7, 808.4});
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnReset_Click();
        m.pellet().txtMake->setText(QStringLiteral("Weihrauch"));
        m.pellet().txtModel->setText(QStringLiteral("HW100"));
        shoot(app, m, {781.0, 779.5});
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnReset_Click();

        m.mnuHistory->trigger();
        frmHistory* h = m.history().historyWindow();
        QVERIFY(h && h->isVisible());
        QCOMPARE(h->windowTitle(), QStringLiteral("Velmora - History"));
        QCOMPARE(h->lblFilter->buddy(), h->txtFilter);
        QSortFilterProxyModel& shown = h->shown();
        QCOMPARE(shown.rowCount(), 2);
        // Newest first.
        QCOMPARE(shown.index(0, HistoryModel::Gun).data().toString(), QStringLiteral("Weihrauch HW100"));
        QCOMPARE(shown.index(0, HistoryModel::Shots).data().toString(), QStringLiteral("2"));
        QCOMPARE(shown.index(1, HistoryModel::Average).data().toString(), QStringLiteral("801.77"));
        QCOMPARE(shown.headerData(HistoryModel::Average, Qt::Horizontal).toString(), QStringLiteral("Av fps"));
        m.optSpeed->select(2);
        QCOMPARE(shown.headerData(HistoryModel::Average, Qt::Horizontal).toString(), QStringLiteral("Av m/s"));
        QCOMPARE(shown.index(1, HistoryModel::Average).data().toString(), QStringLiteral("244.38"));
        h->tblStrings->sortByColumn(HistoryModel::Average, Qt::DescendingOrder);
        QCOMPARE(shown.index(0, HistoryModel::Gun).data().toString(), QStringLiteral("Air Arms S400"));

        QTest::keyClicks(h->txtFilter, QStringLiteral("weihr"));
        QCOMPARE(shown.rowCount(), 1);
        h->txtFilter->clear();
        QVERIFY(!h->btnShow->isEnabled());

        h->tblStrings->selectAll();
        h->btnShow->click();
        frmChart* chart = m.history().chartWindow();
        QVERIFY(chart);
        QVERIFY(!chart->followsTable());
        QCOMPARE(chart->series().size(), size_t(2));
        QCOMPARE(chart->plotVelocity->lines().size(), size_t(2));
        chart->btnCurrent->click();
        QVERIFY(chart->followsTable());

        h->btnOpenFolder->click();
        QCOMPARE(app.urlOpener.opened.last(), QUrl::fromLocalFile(folder()));

        h->tblStrings->selectRow(0);
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        h->btnDelete->click();
        QCOMPARE(archived().size(), 1);
        QCOMPARE(shown.rowCount(), 1);
        QVERIFY(app.prompt.texts().contains(QStringLiteral("Move the string \"2026-12-06 01:30 Air Arms S400 - JSB Exact. "
                                                           "Heavy\" to the trash?")));
        const QPointer<frmHistory> window = h;
        app.exit(); // closes the other windows with the main window
        QVERIFY(!window);
    }
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
