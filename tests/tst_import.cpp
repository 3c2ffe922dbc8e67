// Reading other chronographs' exports: the Garmin Xero C1's CSV in several languages and both
// decimal conventions, LabRadar series reports, spreadsheets and plain lists; what is refused
// and why; and the check of a file's own summary against its shots.
#include "import/import_formats.h"
#include "import/import_text.h"

#include <QFile>
#include <QTest>

namespace {

QByteArray sample(const QString& name)
{
    QFile f(QStringLiteral(VELMORA_IMPORT_FILES "/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing sample %s", qPrintable(name));
    return f.readAll();
}

ImportedString imported(const QByteArray& bytes)
{
    ImportResult r = import_formats::readExport(bytes);
    if (r.strings.size() != 1)
        qWarning("refused: %s (%d strings)", qPrintable(r.refusal), int(r.strings.size()));
    return r.strings.empty() ? ImportedString{} : r.strings.front();
}

// A Xero export with the given shots and summary lines, in the English layout.
QByteArray xero(const QStringList& shots, const QString& average, const QString& deviation, const QString& spread)
{
    QString text = QStringLiteral("Test\n#,SPEED (FPS),DIFF,KE (FT-LB),PF,TIME,CLEAN BORE,COLD BORE,NOTES\n");
    for (int i = 0; i < shots.size(); ++i)
        text += QStringLiteral("%1, %2, 0.0, 0.0, 0.0,10:00:%3,,,\n").arg(i + 1).arg(shots[i]).arg(i, 2, 10, QLatin1Char('0'));
    text += QStringLiteral("-,,,,,,\nAVG,%1\nSD,%2\nES,%3\nPF,1.0\nWEIGHT,10.0\nNOTE,\n-,,,,,,\nMay 1, 2024 at 10:00 AM\nall\n")
                .arg(average, deviation, spread);
    return text.toUtf8();
}

} // namespace

class TestImport : public QObject {
    Q_OBJECT
private slots:
    void numbersInEitherConvention();
    void csvFields();
    void datesInPhoneLanguages();
    void xeroExports_data();
    void xeroExports();
    void labRadarReports();
    void spreadsheetsAndLists();
    void refusals_data();
    void refusals();
    void summaryCheck();
    void whatWasRead();
    void cutAnywhereNeverCrashes();
};

void TestImport::numbersInEitherConvention()
{
    using import_text::number;
    QCOMPARE(number(QStringLiteral("488,3"))->value, 488.3);
    QCOMPARE(number(QStringLiteral("488,3"))->decimals, 1);
    QCOMPARE(number(QStringLiteral(" 924.3"))->value, 924.3);
    QCOMPARE(number(QStringLiteral("-16.5"))->value, -16.5);
    QCOMPARE(number(QStringLiteral("0007"))->value, 7.0);
    QCOMPARE(number(QStringLiteral("3.56"))->lastDigit(), 0.01);
    QCOMPARE(number(QStringLiteral("158"))->lastDigit(), 1.0);
    // Grouped thousands, as phone apps write speeds of 1000 or more: the other mark is the
    // decimal one. Groups that are not of three, or one mark twice, are no numbers.
    QCOMPARE(number(QStringLiteral("1,369.8"))->value, 1369.8);
    QCOMPARE(number(QStringLiteral("1,369.8"))->decimals, 1);
    QCOMPARE(number(QStringLiteral("2.776,5"))->value, 2776.5);
    QCOMPARE(number(QStringLiteral("-1,002,776.25"))->value, -1002776.25);
    QCOMPARE(number(QStringLiteral("1,369"))->value, 1.369); // one mark: decimals
    QVERIFY(!number(QStringLiteral("13,69.8")));
    QVERIFY(!number(QStringLiteral("1,369,8")));
    QVERIFY(!number(QStringLiteral("1.369.8")));
    QVERIFY(!number(QStringLiteral("")));
    QVERIFY(!number(QStringLiteral("fast")));
    QVERIFY(!number(QStringLiteral("12 fps")));
}

void TestImport::csvFields()
{
    using import_text::fields;
    QCOMPARE(fields(QStringLiteral("1,\"488,3\",\"-1,2\",10:09:12,,"), u','),
             (QStringList{"1", "488,3", "-1,2", "10:09:12", "", ""}));
    QCOMPARE(fields(QStringLiteral("\"a \"\"b\"\"\";c"), u';'), (QStringList{"a \"b\"", "c"}));
    QCOMPARE(import_text::lines(QStringLiteral("a\r\nb\rc\n\n")), (QStringList{"a", "b", "c"}));
}

void TestImport::datesInPhoneLanguages()
{
    using import_text::namedMonthDate;
    QCOMPARE(namedMonthDate(QStringLiteral("April 6, 2024 at 1:36 PM")), QDateTime(QDate(2024, 4, 6), QTime(13, 36)));
    QCOMPARE(namedMonthDate(QStringLiteral("JULI 02, 2024 17:08")), QDateTime(QDate(2024, 7, 2), QTime(17, 8)));
    QCOMPARE(namedMonthDate(QStringLiteral("8. Februar 2025 um 10:08")), QDateTime(QDate(2025, 2, 8), QTime(10, 8)));
    QCOMPARE(namedMonthDate(QStringLiteral("mardi 3 décembre 2024 à 09:15")), QDateTime(QDate(2024, 12, 3), QTime(9, 15)));
    QCOMPARE(namedMonthDate(QStringLiteral("12 de março de 2024 às 12:05 AM")), QDateTime(QDate(2024, 3, 12), QTime(0, 5)));
    QCOMPARE(namedMonthDate(QStringLiteral("5 juin 2024 08:00")).date(), QDate(2024, 6, 5));
    QCOMPARE(namedMonthDate(QStringLiteral("5 juillet 2024 08:00")).date(), QDate(2024, 7, 5));
    QCOMPARE(namedMonthDate(QStringLiteral("1 maart 2024 om 14:00")).date(), QDate(2024, 3, 1));
    QVERIFY(!namedMonthDate(QStringLiteral("All shots included")).isValid());
    QVERIFY(!namedMonthDate(QStringLiteral("February 30, 2024")).isValid());
    QCOMPARE(import_text::clockTime(QStringLiteral("1:41:26 PM")), QTime(13, 41, 26));
    QCOMPARE(import_text::clockTime(QStringLiteral("12:00:01 AM")), QTime(0, 0, 1));
    QCOMPARE(import_text::clockTime(QStringLiteral("17:09:22")), QTime(17, 9, 22));
    QVERIFY(!import_text::clockTime(QStringLiteral("13:00 PM")).isValid());
}

void TestImport::xeroExports_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QStringList>("numbers");
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("grains");
    QTest::addColumn<QDateTime>("when");
    QTest::newRow("English, fps, points, 12-hour clock, shot 4 deleted")
        << "xero-en-fps.csv" << "105 hybrid 31.0gt" << int(VelocityUnit::Fps)
        << QStringList{"1", "2", "3", "5", "6", "7", "8", "9"} << 2790.4 << 105.0
        << QDateTime(QDate(2024, 4, 6), QTime(13, 41, 10));
    QTest::newRow("German, m/s, quoted decimal commas, title with commas")
        << "xero-de-mps.csv" << "Marlin,.357, 15,3grs W296, 158,0 gr" << int(VelocityUnit::MetresPerSecond)
        << QStringList{"1", "2", "4", "5", "6"} << 488.3 << 158.0 << QDateTime(QDate(2025, 2, 8), QTime(10, 9, 12));
    QTest::newRow("TEMPO (MPS), quoted title, upper-case month")
        << "xero-tempo-mps.csv" << "Tikka T3x, 6.5 CM \"match\"" << int(VelocityUnit::MetresPerSecond)
        << QStringList{"1", "2", "3", "4"} << 851.2 << 139.0 << QDateTime(QDate(2024, 7, 2), QTime(17, 9, 22));
}

void TestImport::xeroExports()
{
    QFETCH(QString, file);
    const ImportedString s = imported(sample(file));
    QCOMPARE(s.format, QStringLiteral("Garmin Xero C1 (ShotView CSV)"));
    QTEST(s.title, "title");
    QTEST(int(s.unit), "unit");
    QTEST(QStringList(s.numbers.begin(), s.numbers.end()), "numbers");
    QTEST(s.velocities.front(), "first");
    QTEST(s.grains, "grains");
    QTEST(s.when, "when");
    QCOMPARE(s.summary.convention, DeviationConvention::DividesByN);
    QVERIFY(s.summary.average && s.summary.deviation && s.summary.spread);
    QCOMPARE(s.problem, QString()); // every summary was written from these shots
    QVERIFY(!s.times.front().isEmpty());
}

void TestImport::labRadarReports()
{
    // Point decimals, feet per second, NUL padding, CR LF, day-month-year.
    ImportedString s = imported(sample(QStringLiteral("SR0007 Report.csv")));
    QCOMPARE(s.format, QStringLiteral("LabRadar series report"));
    QCOMPARE(s.title, QStringLiteral("LabRadar series 0007 (LBR-0013-231)"));
    QCOMPARE(s.unit, VelocityUnit::Fps);
    QCOMPARE(s.velocities, (std::vector<double>{912.4, 915.0, 909.8, 913.6, 911.1, 914.2}));
    QCOMPARE(s.numbers.front(), QStringLiteral("1"));
    QCOMPARE(s.grains, 18.13);
    QCOMPARE(s.when, QDateTime(QDate(2024, 9, 14), QTime(16, 20, 5)));
    QCOMPARE(s.problem, QString());

    // Comma decimals, metres per second, grams, month-day-year shown by a day beyond 12.
    s = imported(sample(QStringLiteral("SR0012 Report.csv")));
    QCOMPARE(s.unit, VelocityUnit::MetresPerSecond);
    QCOMPARE(s.velocities.size(), size_t(5));
    QCOMPARE(s.velocities[1], 279.4);
    QVERIFY(qAbs(s.grains - 0.55 * 15.4323584) < 1e-9);
    QCOMPARE(s.when.date(), QDate(2024, 9, 23));
    QCOMPARE(s.problem, QString());
}

void TestImport::spreadsheetsAndLists()
{
    // Semicolons, decimal commas, Windows-1252 text, the unit in the header, an empty cell passed.
    ImportedString s = imported(sample(QStringLiteral("blatt-semikolon.csv")));
    QCOMPARE(s.format, QStringLiteral("Spreadsheet CSV"));
    QCOMPARE(s.unit, VelocityUnit::MetresPerSecond);
    QCOMPARE(s.velocities, (std::vector<double>{245.3, 246.1, 244.8, 245.9}));
    QCOMPARE(s.problem, QString());

    // Commas; a quoted decimal comma; a cell that is no velocity named; the summary after the
    // blank line is not a shot; no unit in the header.
    s = imported(sample(QStringLiteral("sheet-comma.csv")));
    QCOMPARE(s.unit, VelocityUnit::Unknown);
    QCOMPARE(s.velocities, (std::vector<double>{801.2, 795.7, 808.4, 799.0}));
    QCOMPARE(s.problem, QStringLiteral("line 5 is not a velocity"));

    s = imported(sample(QStringLiteral("velocities.txt")));
    QCOMPARE(s.format, QStringLiteral("One velocity per line"));
    QCOMPARE(s.unit, VelocityUnit::Unknown);
    QCOMPARE(s.velocities, (std::vector<double>{912.5, 915.1, 909.8, 913.6}));
    QCOMPARE(imported(sample(QStringLiteral("velocities-fps.txt"))).unit, VelocityUnit::Fps);

    // Header words in any case, the unit of the velocity column only.
    s = imported("Time\tSPEED M/S\tEnergy ft-lbf\n10:00\t250.5\t12\n10:01\t251.5\t12\n");
    QCOMPARE(s.unit, VelocityUnit::MetresPerSecond);
    QCOMPARE(s.velocities.size(), size_t(2));
    QCOMPARE(imported("shot,vel\n1,800\n").velocities, std::vector<double>{800});
    QCOMPARE(imported("shot,fps\n1,800\n").unit, VelocityUnit::Fps);
}

void TestImport::refusals_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("why");
    const QByteArray english = sample(QStringLiteral("xero-en-fps.csv"));
    const QByteArray labRadar = sample(QStringLiteral("SR0007 Report.csv"));
    QTest::newRow("empty") << QByteArray() << "The file is empty.";
    QTest::newRow("blank") << QByteArray(" \r\n\n") << "The file is empty.";
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << "not text";
    QTest::newRow("NUL in a Xero file") << english.left(200) + QByteArray(4, '\0') + english.mid(200) << "not text";
    QTest::newRow("over 10 MB") << QByteArray(kMaxImportBytes + 1, '1') << "larger than 10 MB";
    QTest::newRow("Xero cut in its shots") << english.left(english.indexOf("-,,,,,,")) << "cut short";
    QTest::newRow("Xero cut in its summary") << english.left(english.indexOf("SESSION NOTE")) << "cut short";
    QTest::newRow("LabRadar cut in a row") << labRadar.left(labRadar.size() - 20) << "cut short";
    QTest::newRow("LabRadar cut before its table") << labRadar.left(labRadar.indexOf("Shot ID")) << "cut short";
    QTest::newRow("LabRadar without V0") << QByteArray("sep=;\r\nShot ID;Speed;\r\n0001;900;\r\n") << "no column \"V0\"";
    QTest::newRow("a letter") << QByteArray("Dear Sir,\nthe rifle shoots well.\n") << "neither a Garmin Xero C1";
    QTest::newRow("a header and no shots") << QByteArray("Shot;Velocity (fps)\n") << "no shots";
    QTest::newRow("Xero without shots") << xero({}, "0", "0", "0") << "no shots";
    QTest::newRow("mixed units per line") << QByteArray("900 fps\n270 m/s\n") << "same unit";
    QTest::newRow("a negative velocity") << QByteArray("900\n-5\n") << "not above zero";
    QTest::newRow("more shots than a string holds") << QByteArray("900\n").repeated(40000) << "more than the 32767";
    QTest::newRow("a velocity beyond any") << QByteArray("Velocity\n900\n1e9\n90000\n") << "90000, more than any";
}

void TestImport::refusals()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, why);
    const ImportResult r = import_formats::readExport(bytes);
    QVERIFY(r.strings.empty());
    QVERIFY2(r.refusal.contains(why), qPrintable(r.refusal));
    // One sentence.
    QVERIFY(r.refusal.endsWith(u'.'));
    QCOMPARE(r.refusal.count(QStringLiteral(". ")), 0);
}

void TestImport::summaryCheck()
{
    // 10, 12, 14, 17: average 13.25, deviation ÷ n 2.586, ÷ n − 1 2.986, spread 7.
    const QStringList shots{"10.0", "12.0", "14.0", "17.0"};
    // Truncated and rounded summaries agree.
    QCOMPARE(imported(xero(shots, "13.2", "2.5", "7.0")).problem, QString());
    QCOMPARE(imported(xero(shots, "13.3", "2.6", "7")).problem, QString());
    // The Xero divides by n: a deviation by n − 1 is not its own.
    QCOMPARE(imported(xero(shots, "13.2", "2.9", "7.0")).problem,
             QStringLiteral("the file's deviation (÷ n) 2.9 fps is not its shots' 2.59"));
    // Each disagreement is named, with the figure the shots give.
    const QString problem = imported(xero(shots, "14.0", "2.5", "9.0")).problem;
    QVERIFY2(problem.contains(QStringLiteral("average 14.0 fps is not its shots' 13.25")), qPrintable(problem));
    QVERIFY2(problem.contains(QStringLiteral("spread 9.0 fps is not its shots' 7.00")), qPrintable(problem));

    // A LabRadar's convention is not known: either is taken as its own, a third is not.
    ImportedString s;
    s.velocities = {10, 12, 14, 17};
    s.velocityDecimals = 1;
    s.summary.deviation = FileNumber{2.98, 2};
    QCOMPARE(import_formats::summaryDisagreement(s), QString());
    s.summary.deviation = FileNumber{2.58, 2};
    QCOMPARE(import_formats::summaryDisagreement(s), QString());
    s.summary.deviation = FileNumber{2.70, 2};
    QVERIFY(!import_formats::summaryDisagreement(s).isEmpty());
}

void TestImport::whatWasRead()
{
    QCOMPARE(imported(sample(QStringLiteral("xero-en-fps.csv"))).description(),
             QStringLiteral("8 shots, 2776.5 to 2808.2 fps, from 105 hybrid 31.0gt, 6 April 2024"));
    QCOMPARE(imported("800\n").description(), QStringLiteral("1 shot, 800.0 to 800.0 (unit unknown)"));
}

void TestImport::cutAnywhereNeverCrashes()
{
    // Every sample cut at every byte, and with one byte changed at every place: a refusal or a
    // string, never both, never neither, and never more shots than the whole file holds.
    const QStringList names{"xero-en-fps.csv", "xero-de-mps.csv", "xero-tempo-mps.csv", "SR0007 Report.csv",
                            "SR0012 Report.csv", "blatt-semikolon.csv", "sheet-comma.csv", "velocities.txt"};
    for (const QString& name : names) {
        const QByteArray whole = sample(name);
        const size_t shots = imported(whole).velocities.size();
        for (qsizetype cut = 0; cut <= whole.size(); ++cut) {
            for (const QByteArray& bytes : {whole.left(cut), QByteArray(whole).replace(cut, 1, "\"")}) {
                const ImportResult r = import_formats::readExport(bytes);
                QVERIFY(r.strings.empty() != r.refusal.isEmpty());
                for (const ImportedString& s : r.strings)
                    QVERIFY2(s.velocities.size() <= shots + 1, qPrintable(name));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
