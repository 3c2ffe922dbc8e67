// The model of the current string: its signals, its statistics against arithmetic done here,
// the views fed from it, per-shot weights and units, the cache rows it knows, and the replay of
// a whole cache at once against the shot-by-shot replay.
#include "chart/frm_chart.h"
#include "data_options/frm_pellet.h"
#include "history/history_reader.h"
#include "history/string_archive.h"
#include "history/string_history.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/list_text.h"
#include "main_window/option_group.h"
#include "services/regional.h"
#include "services/timestamps.h"
#include "shot/record_shot.h"
#include "string/shot_string.h"
#include "test_app.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

namespace {

ShotRecord shot(int number, double fps, double grains = 8.44)
{
    const QDateTime at(QDate(2026, 12, 6), QTime(1, 30, 0));
    return makeShotRecord(qint16(number), QString::number(number), at, regional::shotDateTime(at, true),
                          QStringLiteral("Air Arms S400 JSB"), regional::numberText(grains), false, grains, fps);
}

// Mean and 0.95 × the sample deviation, the summary's way, worked out apart from the model.
struct Expected {
    double mean = 0, deviation = 0, minimum = 0, maximum = 0;
};
Expected expectedOf(const std::vector<double>& v)
{
    Expected e;
    double sum = 0;
    for (double x : v)
        sum += x;
    e.mean = sum / double(v.size());
    double squares = 0;
    for (double x : v)
        squares += (x - e.mean) * (x - e.mean);
    e.deviation = v.size() > 1 ? 0.95 * std::sqrt(squares / double(v.size() - 1)) : 0;
    e.minimum = *std::min_element(v.begin(), v.end());
    e.maximum = *std::max_element(v.begin(), v.end());
    return e;
}

void checkStatistics(const ShotString& s, const std::vector<double>& fps)
{
    const StringStatistics& st = s.statistics();
    QCOMPARE(int(st.shotsInTable), int(fps.size()));
    const Expected e = expectedOf(fps);
    QVERIFY(std::abs(st.avgFps - e.mean) < 1e-9);
    QVERIFY(std::abs(st.stdDevFps - e.deviation) < 1e-9);
    QCOMPARE(st.minFps, e.minimum);
    QCOMPARE(st.maxFps, e.maximum);
}

QStringList tableRow(frmMain& m, int row)
{
    QStringList cells;
    for (int c = 0; c < m.MSFlexGrid1->Cols(); ++c)
        cells.append(m.MSFlexGrid1->TextMatrix(row, c));
    return cells;
}

// Everything a user sees of the string, to compare two windows.
QStringList shownState(frmMain& m)
{
    QStringList state;
    for (int r = 1; r < m.MSFlexGrid1->Rows(); ++r)
        state.append(tableRow(m, r).join(u'|'));
    for (int c = 0; c < m.MSFlexGrid2->Cols(); ++c)
        state.append(m.MSFlexGrid2->TextMatrix(1, c));
    state << m.Text1->Text() << m.Label3->text() << m.Label5->text() << QString::number(m.session().shot_count)
          << QString::number(m.session().last_fps, 'g', 17) << QString::number(m.session().last_ftlb, 'g', 17)
          << QString::number(m.MSFlexGrid1->Row()) << QString::number(m.btnReset->isEnabled());
    return state;
}

void writeCache(const std::vector<PelletStore::CacheRow>& rows)
{
    QFile::remove(PelletStore::defaultPath());
    PelletStore previous;
    QVERIFY(previous.openStore(PelletStore::defaultPath()).isEmpty());
    previous.storeDatabase.transaction();
    for (const PelletStore::CacheRow& row : rows)
        QVERIFY(previous.insertCacheRow(row).isEmpty());
    previous.storeDatabase.commit();
}

} // namespace

class TestShotString : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
        TestApp::setSetting(QStringLiteral("ArchiveStrings"), 0);
    }

    void signalsAndStatisticsFollowEveryChange()
    {
        ShotString s;
        QSignalSpy appended(&s, &ShotString::appended), removed(&s, &ShotString::removed),
            reset(&s, &ShotString::reset), units(&s, &ShotString::unitsChanged);
        std::vector<double> fps{801.25, 790.5, 812.75, 799.0, 805.5};
        for (size_t i = 0; i < fps.size(); ++i)
            s.append(shot(int(i) + 1, fps[i]));
        QCOMPARE(appended.size(), 5);
        QCOMPARE(appended.last().at(0).toInt(), 4);
        checkStatistics(s, fps);

        // Removing the fastest shot takes it out of the maximum too.
        s.remove(2);
        fps.erase(fps.begin() + 2);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed.last().at(0).toInt(), 2);
        QCOMPARE(s.at(2).number, qint16(4));
        checkStatistics(s, fps);
        s.remove(7); // no such shot
        QCOMPARE(removed.size(), 1);

        s.clear();
        QCOMPARE(reset.size(), 1);
        QCOMPARE(s.statistics().minFps, 9999.0);
        QCOMPARE(s.statistics().shotsInTable, qint16(0));

        std::vector<ShotRecord> many;
        std::vector<double> replayed;
        for (int i = 0; i < 50; ++i) {
            replayed.push_back(760 + i * 1.5);
            many.push_back(shot(i + 1, replayed.back()));
        }
        s.appendAll(std::move(many));
        QCOMPARE(reset.size(), 2);
        QCOMPARE(appended.size(), 5);
        checkStatistics(s, replayed);

        StringUnits metric = s.units();
        s.setUnits(metric);
        QCOMPARE(units.size(), 0);
        metric.summary.feetPerSecond = false;
        s.setUnits(metric);
        s.setUnits(metric);
        QCOMPARE(units.size(), 1);
    }

    void statisticsCountTheShownFiguresAndStopAtTheLimit()
    {
        // 800.004 shows as 800.00: the summary has always counted what the table shows.
        ShotString s;
        s.append(shot(1, 800.004));
        s.append(shot(2, 800.006));
        QCOMPARE(s.statistics().sumFps, 800.00 + 800.01);
        QCOMPARE(s.at(0).cells.value(4), QStringLiteral("800.00"));
        QCOMPARE(s.at(0).figures.fps, 800.004);

        std::vector<ShotRecord> full;
        for (int i = s.size(); i < ShotString::kMaxShots; ++i)
            full.push_back(s.at(0));
        s.appendAll(std::move(full));
        QCOMPARE(s.size(), ShotString::kMaxShots);
        QVERIFY_THROWS_EXCEPTION(std::exception, s.append(shot(1, 800)));
        QVERIFY_THROWS_EXCEPTION(std::exception, s.appendAll({shot(1, 800)}));
        QCOMPARE(s.size(), ShotString::kMaxShots);
    }

    void viewsShowTheRecordsAndCacheRowsAreKnown()
    {
        TestApp app;
        frmMain& m = app.start();
        m.pellet().txtWeight->setText(QStringLiteral("8.44"));
        for (double fps : {790.0, 801.5, 812.25})
            RecordShot(m, fps);
        QCOMPARE(m.string().size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(tableRow(m, i + 1), m.string().at(i).cells);
        // Each shot knows its own cache row, as the cache itself numbers them.
        const std::vector<PelletStore::CachedShot> cached = app.store.cachedShots();
        QCOMPARE(cached.size(), size_t(3));
        const std::vector<qint64> ids = m.string().cacheRowIds();
        for (size_t i = 0; i < 3; ++i)
            QCOMPARE(ids[i], cached[i].rowid);

        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.MSFlexGrid1->setRow(1);
        m.btnDelete_Click();
        QCOMPARE(m.string().size(), 2);
        QCOMPARE(m.MSFlexGrid1->Rows(), 3);
        QCOMPARE(tableRow(m, 1), m.string().at(0).cells);
        QCOMPARE(m.string().cacheRowIds().front(), cached[1].rowid);
        QCOMPARE(m.MSFlexGrid2->TextMatrix(1, 0), QStringLiteral("2"));
    }

    void eachShotKeepsItsOwnWeightAndUnit()
    {
        TestApp app;
        frmMain& m = app.start();
        frmPellet& p = m.pellet();
        p.selWeight->select(1);
        p.txtWeight->setText(QStringLiteral("8.44"));
        RecordShot(m, 800);
        p.selWeight->select(0); // the dialog converts the text to grammes
        p.txtWeight->setText(QStringLiteral("0.547"));
        RecordShot(m, 800);
        const ShotRecord& grains = m.string().at(0);
        const ShotRecord& grammes = m.string().at(1);
        QVERIFY(!grains.grammes);
        QVERIFY(grammes.grammes);
        QCOMPARE(grains.weightText, QStringLiteral("8.44"));
        QCOMPARE(grammes.weightText, QStringLiteral("0.547"));
        QCOMPARE(grains.grains, 8.44);
        QCOMPARE(grammes.grains, 8.442);
        // The factor of each shot is its own weight's, whatever unit it was typed in.
        QCOMPARE(grains.cells.value(8), QStringLiteral("6.8"));
        QCOMPARE(grammes.cells.value(8), QStringLiteral("6.8"));
        QCOMPARE(grammes.shown.ipscFactor, 6.8);
    }

    void unitsFollowWhenTheWeightIsNoNumber()
    {
        TestApp app;
        frmMain& m = app.start();
        m.pellet().txtWeight->setText(QStringLiteral("8.44"));
        RecordShot(m, 800);
        RecordShot(m, 810);
        frmChart& chart = m.history().showChart();
        m.optPower->select(3);
        m.pellet().txtWeight->setText(QStringLiteral("heavy"));
        m.optSpeed->select(2);
        // The summary row is written and the chart follows the speed unit.
        QCOMPARE(m.MSFlexGrid2->Rows(), 2);
        QCOMPARE(m.MSFlexGrid2->TextMatrix(1, 3), QStringLiteral("245.36"));
        QCOMPARE(chart.series().front().speedWord(), QStringLiteral("m/s"));
        // The factor's summary uses the string's own last weight: 8.44 × 805 ÷ 1000.
        QCOMPARE(m.MSFlexGrid2->TextMatrix(1, 8), QStringLiteral("6.80"));
        QCOMPARE(m.string().units().summary.grains, 8.44);
    }

    void aWholeCacheReplaysAsShotByShot_data()
    {
        QTest::addColumn<int>("rows");
        QTest::newRow("three") << 3;
        QTest::newRow("six, numbers repeating") << 6;
        QTest::newRow("four hundred") << 400;
    }

    void aWholeCacheReplaysAsShotByShot()
    {
        QFETCH(int, rows);
        std::vector<PelletStore::CacheRow> cache;
        for (int i = 0; i < rows; ++i) {
            // Deleted last shots give their numbers again; velocities with three decimals.
            const int number = rows == 6 ? (i % 3) + 1 + i / 3 : i + 1;
            cache.push_back({qint16(number), qint32(1796520600 + i * 7), QStringLiteral("8.44"),
                             regional::format3(740 + (i * 37 % 113) * 0.731)});
        }
        writeCache(cache);
        TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("8.44"));
        TestApp::setSetting(QStringLiteral("optPower"), 2);
        QStringList fast, slow;
        {
            TestApp app(true);
            frmMain& m = app.start();
            QCOMPARE(m.string().size(), rows);
            fast = shownState(m);
            QCOMPARE(m.string().at(rows - 1).cacheRowId, app.store.cachedShots().back().rowid);
            app.abandon();
        }
        {
            // The same cache one shot at a time, as each replayed shot used to be added.
            TestApp app;
            frmMain& m = app.start();
            for (const PelletStore::CacheRow& row : cache) {
                ReplayCachedShot(m, regional::toNumberOrFail(row.fps), row.timestamp, row.shot);
                m.updateTotalsShot();
            }
            slow = shownState(m);
        }
        QCOMPARE(fast, slow);
    }

    // No number follows 32767: the rows up to it are a string of their own, archived at the start;
    // the rows after it come back as the current string. Nothing is left out.
    void theLastShotNumberEndsAString()
    {
        writeCache({{32766, 1796520600, QStringLiteral("8.44"), QStringLiteral("800.000")},
                    {32767, 1796520607, QStringLiteral("8.44"), QStringLiteral("801.000")},
                    {1, 1796520614, QStringLiteral("8.44"), QStringLiteral("802.000")}});
        TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("8.44"));
        TestApp::setSetting(QStringLiteral("ArchiveStrings"), 1);
        QDir(StringArchive::defaultFolder()).removeRecursively();
        TestApp app(true);
        frmMain& m = app.start();
        QVERIFY(app.prompt.texts().contains(QStringLiteral("It Looks like you crashed. 1 shots have been recovered. 2 "
                                                           "earlier shots that no archive holds are archived as a "
                                                           "string of their own.")));
        QCOMPARE(m.string().size(), 1);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 0), QStringLiteral("1"));
        QCOMPARE(m.session().shot_count, qint16(1));
        const QStringList files =
            QDir(StringArchive::defaultFolder()).entryList({QStringLiteral("*.csv")}, QDir::Files);
        QCOMPARE(files.size(), 1);
        const ArchivedString earlier = readArchivedString(QDir(StringArchive::defaultFolder()).filePath(files[0]));
        QCOMPARE(int(earlier.shots.size()), 2);
        QCOMPARE(earlier.shots[1].fps, 801.0);
        app.exit();
    }
};

QTEST_MAIN(TestShotString)
#include "tst_shot_string.moc"
