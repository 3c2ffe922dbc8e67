// Exports as the field writes them: real ShotView CSVs and LabRadar reports read right (dates,
// times, shots, no false note), and each habit of the apps, devices, converters and spreadsheets
// on a file made to show it; load-development tables, ladders and what is refused.
#include "import/import_formats.h"
#include "import/import_text.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTest>

namespace {

QByteArray sample(const QString& name)
{
    QFile f(QStringLiteral(VELMORA_IMPORT_FILES "/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing sample %s", qPrintable(name));
    return f.readAll();
}

ImportResult readAll(const QByteArray& bytes)
{
    ImportResult r = import_formats::readExport(bytes);
    if (r.isRefused())
        qWarning("refused: %s", qPrintable(r.refusal));
    return r;
}

ImportedString one(const QByteArray& bytes)
{
    const ImportResult r = readAll(bytes);
    if (r.strings.size() != 1)
        qWarning("%d strings", int(r.strings.size()));
    return r.strings.empty() ? ImportedString{} : r.strings.front();
}

QString refusal(const QByteArray& bytes)
{
    const ImportResult r = import_formats::readExport(bytes);
    return r.strings.empty() ? r.refusal : QStringLiteral("<read>");
}

QDateTime at(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

// A ShotView CSV as the Android app writes it: a byte-order mark before the header, the
// summary with the power factor second; `shots` are the speed cells as written.
QByteArray android(const QStringList& shots, const QStringList& summary, const QString& date,
                   const QString& time = QStringLiteral("18:43:05"))
{
    QString text = QStringLiteral("Test load\n\uFEFF#,Tempo (MPS),\u0394 DURCHSCHNITT (MPS),KE (J),PF,Zeit,,,\n");
    for (int i = 0; i < shots.size(); ++i)
        text += QStringLiteral("%1,%2,\"0,0\",\"1,0\",\"1,0\",%3,,,\n").arg(i + 1).arg(shots[i], time);
    text += QStringLiteral("-,,,,,,\n") + summary.join(u'\n') + QStringLiteral("\n-,,,,,,\nDatum,\"") + date +
            QStringLiteral("\",,,,,\nAlle\n");
    return text.toUtf8();
}

// Lines of a LabRadar report as the device writes them, rows given by their cells.
QByteArray labRadar(const QString& total, const QStringList& rows, const QString& spread = QStringLiteral("28.25"))
{
    QString text =
        QStringLiteral("sep=;\r\nDevice ID;LBR-0000001;;\r\nSeries No;0003;;\r\nTotal number of shots;%1;;\r\n"
                       "Units velocity;fps;;\r\nUnits weight;grain (gr);;\r\nStats - Ext. Spread;%2;fps;\r\n"
                       "\r\nShot ID;V0;V10;Proj. Weight;Date;Time\r\n")
            .arg(total, spread);
    for (const QString& r : rows)
        text += r + QStringLiteral(";\r\n");
    return text.toUtf8();
}

QByteArray utf16(const QString& text, bool littleEndian)
{
    QStringEncoder encoder(littleEndian ? QStringEncoder::Utf16LE : QStringEncoder::Utf16BE,
                           QStringEncoder::Flag::WriteBom);
    return encoder.encode(text);
}

std::vector<QString> labels(const ImportResult& r)
{
    std::vector<QString> out;
    for (const ImportedString& s : r.strings)
        out.push_back(s.label);
    return out;
}

} // namespace

class TestImportField : public QObject {
    Q_OBJECT
private slots:
    void realExports_data();
    void realExports();
    void shotViewHabits();
    void shotViewSummaryByLabel();
    void shotViewDates();
    void labRadarDates();
    void labRadarEditedAndSavedBack();
    void labRadarRoundingAndTracks();
    void labRadarPhoneSeries();
    void loadDevelopmentTables();
    void laddersListsAndBallisticsTables();
    void utf16Files();
    void bounds();
};

void TestImportField::realExports_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("shots");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("lastTime");
    QTest::addColumn<double>("grains");
    QTest::newRow("ShotView Android, German") << "real/Shotview_a.csv" << 10 << int(VelocityUnit::MetresPerSecond)
                                              << at(2024, 7, 2, 17, 9, 22) << "17:10:17" << 158.0;
    QTest::newRow("ShotView Android, German, 4 shots")
        << "real/Hornady_VMAX_64gr__2024-10-04_18-41-13.csv" << 4 << int(VelocityUnit::MetresPerSecond)
        << at(2024, 10, 4, 18, 43, 5) << "18:44:50" << 35.0;
    QTest::newRow("ShotView iOS, English, U+202F before PM")
        << "real/Shotview_i.csv" << 19 << int(VelocityUnit::Fps) << at(2024, 4, 6, 13, 41, 26) << "13:49:38" << 0.0;
    QTest::newRow("ShotView iOS, German") << "real/Shotview_i_de.csv" << 4 << int(VelocityUnit::MetresPerSecond)
                                          << at(2025, 2, 8, 10, 8, 59) << "10:09:49" << 55.0;
    QTest::newRow("LabRadar, month-day-year")
        << "real/SR0001 Report.csv" << 9 << int(VelocityUnit::Fps) << at(2020, 7, 25, 12, 14, 23) << "12:19:18" << 55.0;
    QTest::newRow("LabRadar, 10 January") << "real/SR0027 Report.csv" << 9 << int(VelocityUnit::Fps)
                                          << at(2021, 1, 10, 10, 36, 50) << "10:43:34" << 140.0;
}

void TestImportField::realExports()
{
    QFETCH(QString, file);
    const ImportResult r = readAll(sample(file));
    QCOMPARE(r.strings.size(), size_t(1));
    const ImportedString& s = r.strings.front();
    QTEST(int(s.velocities.size()), "shots");
    QTEST(int(s.unit), "unit");
    QTEST(s.when, "when");
    QTEST(import_text::clockTime(s.times.back()).toString(QStringLiteral("HH:mm:ss")), "lastTime");
    QTEST(s.grains, "grains");
    // Every summary was written from these shots: no note.
    QCOMPARE(s.problem, QString());
    QVERIFY(s.summary.average && s.summary.deviation && s.summary.spread);
    QVERIFY(!s.title.contains(QChar(0xFEFF)));
}

void TestImportField::shotViewHabits()
{
    // Speeds of 1000 or more with a grouping comma inside quotes.
    const QStringList summary{"AVERAGE SPEED,\"1,370.0\"", "STD DEV,\"0.8\"", "SPREAD,\"1.6\""};
    ImportedString s = one(android({"\"1,369.8\"", "\"1,371.0\"", "\"1,369.4\""}, summary, "OKTOBER 04, 2024 18:41"));
    QCOMPARE(s.velocities, (std::vector<double>{1369.8, 1371.0, 1369.4}));
    QCOMPARE(s.problem, QString());
    // The byte-order mark a later app writes at the start, before the header and at the end.
    QByteArray marked =
        "\xEF\xBB\xBF" + android({"\"696,7\"", "\"696,3\""}, {}, "OKTOBER 04, 2024 18:41") + "\xEF\xBB\xBF";
    s = one(marked);
    QCOMPARE(s.title, QStringLiteral("Test load"));
    QCOMPARE(s.velocities.size(), size_t(2));
}

void TestImportField::shotViewSummaryByLabel()
{
    const QStringList shots{"\"696,7\"", "\"696,3\"", "\"701,9\"", "\"695,8\""};
    // Android order (power factor second), German labels: each figure by its label.
    ImportedString s =
        one(android(shots,
                    {"AVERAGE SPEED,\"697,7\"", "AVERAGE POWER FACTOR,\"1,6\"", "STANDARDABWEICHUNG,\"2,5\"",
                     "STREUUNG,\"6,1\"", "Gewicht des Projektils (GRAN),\"35.0\""},
                    "OKTOBER 04, 2024 18:41"));
    QCOMPARE(s.summary.deviation->value, 2.5);
    QCOMPARE(s.summary.spread->value, 6.1);
    QCOMPARE(s.grains, 35.0);
    QCOMPARE(s.problem, QString());
    // iOS order, English; the weight's label with its bracket unclosed.
    s = one(android(shots, {"AVERAGE SPEED,697.7", "STD DEV,2.5", "SPREAD,6.1", "PROJECTILE WEIGHT(GRAINS,64.0"},
                    "OKTOBER 04, 2024 18:41"));
    QCOMPARE(s.grains, 64.0);
    QCOMPARE(s.problem, QString());
    // A label not known is left out of the check, whatever its place: no false note.
    s = one(android(shots, {"AVERAGE SPEED,697.7", "ODCHYLENIE,99.0", "ROZRZUT,99.0"}, "OKTOBER 04, 2024 18:41"));
    QVERIFY(!s.summary.deviation && !s.summary.spread);
    QCOMPARE(s.problem, QString());
    // A known label with a wrong figure is still caught.
    s = one(android(shots, {"AVERAGE SPEED,697.7", "STREUUNG,\"9,9\""}, "OKTOBER 04, 2024 18:41"));
    QCOMPARE(s.problem, QStringLiteral("the file's spread 9.9 m/s is not its shots' 6.10"));
    // A weight in grams: converted to grains.
    s = one(android(shots, {"PROJECTILE WEIGHT (GRAMS),4.0"}, "OKTOBER 04, 2024 18:41"));
    QVERIFY(qAbs(s.grains - 4.0 * 15.4323584) < 1e-6);
}

void TestImportField::shotViewDates()
{
    // Dotted times, a date like "12. May 2024 at 18.19".
    ImportedString s = one(android({"\"696,7\""}, {}, "12. May 2024 at 18.19", "18.19.39"));
    QCOMPARE(s.when, at(2024, 5, 12, 18, 19, 39));
    // A date that cannot be read: the shots are imported, and a note says so.
    s = one(android({"\"696,7\"", "\"697,1\""}, {}, "Gestern", "18.19.39"));
    QCOMPARE(s.velocities.size(), size_t(2));
    QVERIFY(!s.when.isValid());
    QCOMPARE(s.problem, QStringLiteral("the date \"Gestern\" cannot be read"));

    using import_text::clockTime;
    QCOMPARE(clockTime(QStringLiteral("1:41:26\u202FPM")), QTime(13, 41, 26));
    QCOMPARE(clockTime(QStringLiteral("1:41:26\u00A0AM")), QTime(1, 41, 26));
    QCOMPARE(clockTime(QStringLiteral("18.19.39")), QTime(18, 19, 39));
    QVERIFY(!clockTime(QStringLiteral("04.10.2024")).isValid()); // a date is no time
    QVERIFY(!clockTime(QStringLiteral("924.3")).isValid());
}

void TestImportField::labRadarDates()
{
    const QString a = QStringLiteral("0001;2419;2397;55.00;%1;12:14:23");
    const QString b = QStringLiteral("0002;2436;2413;55.00;%1;12:14:56");
    // The device: month-day-year, even where both fields could be months.
    QCOMPARE(one(labRadar("0002", {a.arg("07-10-2020"), b.arg("07-10-2020")})).when, at(2020, 7, 10, 12, 14, 23));
    // A converter's day-first, shown by one row whose first field is beyond 12.
    QCOMPARE(one(labRadar("0002", {a.arg("07-10-2020"), b.arg("13-10-2020")})).when, at(2020, 10, 7, 12, 14, 23));
    QCOMPARE(one(labRadar("0002", {a.arg("2020-07-10"), b.arg("2020-07-10")})).when, at(2020, 7, 10, 12, 14, 23));
}

void TestImportField::labRadarEditedAndSavedBack()
{
    const QByteArray real = sample(QStringLiteral("real/SR0001 Report.csv"));
    const ImportedString original = one(real);

    // The owner deleted the rows of shots 3 and 9: read, with a note, not "cut short".
    QByteArray edited = real;
    for (const char* row : {"\n0003;", "\n0009;"}) {
        const qsizetype start = edited.indexOf(row) + 1;
        edited.remove(start, edited.indexOf('\n', start) + 1 - start);
    }
    ImportedString s = one(edited);
    QCOMPARE(s.velocities.size(), size_t(7));
    QCOMPARE(s.numbers[2], QStringLiteral("4"));
    QVERIFY2(s.problem.startsWith(QStringLiteral("the report announces 9 shots but holds 7 (rows were deleted)")),
             qPrintable(s.problem));
    // A row cut in the middle is still refused.
    QVERIFY(refusal(real.left(real.lastIndexOf("2307;") + 2)).contains(QStringLiteral("cut short")));

    // Saved back through a spreadsheet: commas, no "sep=;", padded cells. The same session.
    QString text = QString::fromLatin1(QByteArray(real).replace('\0', QByteArray()));
    text.remove(QStringLiteral("sep=;\r\n"));
    text.replace(u';', QStringLiteral("  ,"));
    s = one(text.toLatin1());
    QCOMPARE(s.format, original.format);
    QCOMPARE(s.velocities, original.velocities);
    QCOMPARE(s.when, original.when);
    QCOMPARE(s.grains, original.grains);
    QCOMPARE(s.fingerprint(), original.fingerprint());
    QCOMPARE(s.problem, QString());
}

void TestImportField::labRadarRoundingAndTracks()
{
    // V0 printed whole while the device's spread came from unrounded speeds: 28.25 against the
    // printed 28 is within the rounding; 29.5 is not.
    const QStringList rows{"0001;2419;2397;55.00;07-25-2020;12:14:23", "0002;2447;2413;55.00;07-25-2020;12:14:56"};
    QCOMPARE(one(labRadar("0002", rows, "28.25")).problem, QString());
    QCOMPARE(one(labRadar("0002", rows, "29.50")).problem,
             QStringLiteral("the file's spread 29.50 fps is not its shots' 28.000"));

    // A track: one shot's flight, refused as such.
    const QByteArray track = "sep=;\r\nDevice ID;LBR-0000001;;\r\nSeries No;0003;;\r\nShot No;0001;;\r\n"
                             "Units velocity;fps;;\r\n\r\nTime (s);Distance (m);Velocity (fps)\r\n"
                             "0.000;0.0;2419.2\r\n0.001;0.7;2418.1\r\n";
    QCOMPARE(refusal(track), QStringLiteral("The file is a LabRadar track of one shot (its velocity along its flight), "
                                            "not a series: import the series' report (\"SR0001 Report.csv\" or the "
                                            "like)."));
}

void TestImportField::labRadarPhoneSeries()
{
    // The phone app's "series6.csv": "#006", ISO dates, two decimals; and "series6Shots.csv",
    // its table alone. Both are the same session.
    const QByteArray table = "Shot ID;V0;Proj. Weight;Date;Time\r\n"
                             "1;2795.41;140.00;2024-03-10;10:36:50\r\n2;2801.07;140.00;2024-03-10;10:37:12\r\n";
    const ImportedString series =
        one("sep=;\r\nDevice ID;LBR-0000002;;\r\nSeries No;#006;;\r\nTotal number of shots;2;;\r\n"
            "Units velocity;fps;;\r\nUnits weight;grain (gr);;\r\n\r\n" +
            table);
    QCOMPARE(series.title, QStringLiteral("LabRadar series #006 (LBR-0000002)"));
    QCOMPARE(series.velocities, (std::vector<double>{2795.41, 2801.07}));
    QCOMPARE(series.when, at(2024, 3, 10, 10, 36, 50));
    const ImportedString shots = one(table);
    QCOMPARE(shots.velocities, series.velocities);
    QCOMPARE(shots.unit, VelocityUnit::Unknown); // the table alone does not say it
    QCOMPARE(shots.when, series.when);
}

void TestImportField::loadDevelopmentTables()
{
    // One string a row, labelled by its charge; the shots from "Shot N" only, never the
    // Average column; blank cells are no shots; each row's figures checked against its shots.
    const QByteArray table = "Charge (gr);Shot 1;Shot 2;Shot 3;Average;Extreme Spread;Standard Deviation;Group size\n"
                             "37.5;2701;2710;2706;2705.7;9;4.5;0.61\n"
                             "38.0;2731;2735;;2733.0;4;2.8;0.48\n"
                             "38.5;2760;2771;2765;2790.0;11;5.5;0.72\n"
                             ";;;;;;;\n"
                             "39.0;;;;;;;\n";
    const ImportResult r = readAll(table);
    QCOMPARE(labels(r), (std::vector<QString>{"37.5 gr", "38.0 gr", "38.5 gr"}));
    QCOMPARE(r.strings[0].format, QStringLiteral("Load-development table"));
    QCOMPARE(r.strings[0].velocities, (std::vector<double>{2701, 2710, 2706}));
    QCOMPARE(r.strings[1].velocities, (std::vector<double>{2731, 2735}));
    QCOMPARE(r.strings[1].numbers, (std::vector<QString>{"1", "2"}));
    QCOMPARE(r.strings[0].unit, VelocityUnit::Unknown);
    QCOMPARE(r.strings[0].problem, QStringLiteral("the row 39.0 gr holds no shots"));
    QVERIFY(r.strings[2].problem.contains(QStringLiteral("the file's average 2790.0 (unit unknown) is not its shots' "
                                                         "2765.33")));
    // The unit in the header; labels that are no numbers kept as they are; commas.
    const ImportResult named = readAll("Load,Shot 1 (fps),Shot 2 (fps),Avg\nH4350 41.0,2801.5,2799.5,2800.5\n"
                                       "H4350 41.5,2821.5,2819.5,2820.5\n");
    QCOMPARE(labels(named), (std::vector<QString>{"H4350 41.0", "H4350 41.5"}));
    QCOMPARE(named.strings[1].unit, VelocityUnit::Fps);
    QCOMPARE(named.strings[1].problem, QString());
    // Rows that are the same shots are still two strings: their labels differ.
    QVERIFY(named.strings[0].fingerprint() !=
            readAll("Load,Shot 1 (fps),Shot 2 (fps)\nH4350 41.5,2801.5,2799.5\n").strings[0].fingerprint());
}

void TestImportField::laddersListsAndBallisticsTables()
{
    // A ladder: one string of one shot a charge.
    const ImportResult ladder = readAll("Charge (grains)\tVelocity (fps)\n41.0\t2801\n41.3\t2812\n41.6\t2826\n");
    QCOMPARE(labels(ladder), (std::vector<QString>{"41.0 gr", "41.3 gr", "41.6 gr"}));
    QCOMPARE(ladder.strings[2].velocities, std::vector<double>{2826});
    QCOMPARE(ladder.strings[2].unit, VelocityUnit::Fps);
    QCOMPARE(ladder.strings[2].format, QStringLiteral("Ladder table"));
    // One weight throughout is the projectile's, beside one string's velocities.
    const ImportResult weight = readAll("Grains,Velocity (fps)\n55,3201\n55,3210\n");
    QCOMPARE(weight.strings.size(), size_t(1));
    QCOMPARE(weight.strings[0].velocities.size(), size_t(2));
    // A downrange table is no shots.
    QCOMPARE(refusal("Range (yd),Velocity (fps),Energy (ft-lbf),Drop (in)\n0,2800,3481,-1.5\n100,2600,3001,0\n"),
             QStringLiteral("The file is a ballistics table (velocity by range), not shots."));
    // A numbered list without a header: the velocity column, the numbers as written.
    ImportedString s = one("1;2795,3\n2;2801,0\n4;2788,6\n");
    QCOMPARE(s.velocities, (std::vector<double>{2795.3, 2801.0, 2788.6}));
    QCOMPARE(s.numbers.back(), QStringLiteral("4"));
    QCOMPARE(one("1,2795\n2,2801\n").velocities, (std::vector<double>{2795, 2801}));
    // One velocity per line with a decimal comma is still that.
    QCOMPARE(one("488,3\n489,1\n").velocities, (std::vector<double>{488.3, 489.1}));
}

void TestImportField::utf16Files()
{
    const QString text = QStringLiteral("Charge (gr)\tShot 1\tShot 2\n37,5\t2701,5\t2710,0\n38,0\t2731,0\t2735,5\n");
    for (const bool little : {true, false}) {
        const ImportResult r = readAll(utf16(text, little));
        QCOMPARE(labels(r), (std::vector<QString>{"37,5 gr", "38,0 gr"}));
        QCOMPARE(r.strings[1].velocities, (std::vector<double>{2731.0, 2735.5}));
    }
    QVERIFY(refusal(QByteArray("\xFF\xFE\x31\x00\x32", 5)).contains(QStringLiteral("odd number of bytes")));
    QVERIFY(refusal(QByteArray("\xFF\xFE\x01\x00\x32\x00", 6)).contains(QStringLiteral("not text")));
}

void TestImportField::bounds()
{
    // A 10 MB list is refused at its 32768th shot, not read whole.
    const QByteArray big = QByteArray("2795.3\n").repeated(1400000);
    QVERIFY(big.size() <= kMaxImportBytes);
    QCOMPARE(refusal(big), QStringLiteral("The file holds more than the 32767 shots a string can hold."));
    QCOMPARE(refusal(QByteArray("Charge;Shot 1;Shot 2\n") + QByteArray("37.5;2700;2701\n").repeated(16384)),
             QStringLiteral("The file holds more than the 32767 shots a string can hold."));
    QCOMPARE(one(QByteArray("2795.3\n").repeated(32767)).velocities.size(), size_t(32767));

    // A title over 200 characters is cut once, and says so.
    const QString longTitle = QString(250, u'x');
    const ImportedString s = one(QStringLiteral("%1\n#,SPEED (FPS),DIFF,KE,PF,TIME,,,\n1,2800.0,0,0,0,10:00:00,,,\n"
                                                "-,,,,,,\n-,,,,,,\nMay 1, 2024 at 10:00 AM\n")
                                     .arg(longTitle)
                                     .toUtf8());
    QCOMPARE(s.title.size(), kMaxTitle);
    QCOMPARE(s.problem, QStringLiteral("the title was cut to 200 characters"));
}

QTEST_GUILESS_MAIN(TestImportField)
#include "tst_import_field.moc"
