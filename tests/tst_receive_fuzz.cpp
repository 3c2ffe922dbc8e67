// Arbitrary bytes through the receive path and the decoders: no crash, and no shot from a line
// that is not one.
#include "drivers/line_decoders.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "device_windows/frm_options.h"
#include "main_window/option_group.h"
#include "services/app_error.h"
#include "test_app.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

namespace {
QByteArray randomBytes(QRandomGenerator& random, int maxLength)
{
    static const QByteArray alphabet("0123456789.,VfmV\r\n -+eE>");
    QByteArray bytes(int(random.bounded(maxLength + 1)), '\0');
    for (char& c : bytes)
        c = random.bounded(3) == 0 ? char(random.bounded(256)) : alphabet[int(random.bounded(alphabet.size()))];
    return bytes;
}

// What a decoder may accept as a shot line.
bool chronyShape(const QString& line)
{
    return line.contains(QLatin1String("Vf")) || line.contains(QLatin1String("Vm"));
}
bool combroShape(const QString& line)
{
    return line.size() == 4 || line.size() == 6 || line.size() == 7;
}
} // namespace

class TestReceiveFuzz : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
    }

    void decodersNeverAcceptWhatIsNotAShot()
    {
        QRandomGenerator random(20261207);
        for (int i = 0; i < 200000; ++i) {
            const QString line = QString::fromLatin1(randomBytes(random, 12));
            for (bool eurozone : {false, true}) {
                try {
                    const DecodedLine d = decodeChronyLine(line, eurozone);
                    QVERIFY(!d.countShot || chronyShape(line));
                    QVERIFY(std::isfinite(d.fps));
                } catch (const AppError&) {
                }
            }
            try {
                const DecodedLine d = decodeCombroLine(line);
                QVERIFY(!d.countShot || combroShape(line));
                QVERIFY(std::isfinite(d.fps));
            } catch (const AppError&) {
            }
        }
    }

    void receivePathSurvivesGarbage_data()
    {
        QTest::addColumn<int>("family");
        QTest::newRow("chrony") << 1;
        QTest::newRow("combro") << 2;
    }

    void receivePathSurvivesGarbage()
    {
        QFETCH(int, family);
        TestApp::setSetting(QStringLiteral("chronoType"), family);
        TestApp app;
        frmMain& m = app.start();
        QRandomGenerator random(quint32(7 + family));
        int lines = 0;
        for (int i = 0; i < 20000; ++i) {
            const QByteArray chunk = randomBytes(random, 40);
            lines += int(chunk.count('\r'));
            app.serial->feed(chunk);
            if (random.bounded(50) == 0)
                m.Timer1_Timer();
            if (m.MSFlexGrid1->Rows() > 30000)
                break;
        }
        // Every recorded row holds a finite velocity that a line of the right shape produced.
        QVERIFY(m.MSFlexGrid1->Rows() - 1 <= lines);
        for (int r = 1; r < m.MSFlexGrid1->Rows(); ++r)
            QVERIFY(std::isfinite(m.MSFlexGrid1->TextMatrix(r, 4).toDouble()));
        QCOMPARE(m.MSFlexGrid2->TextMatrix(1, 0).toInt(), m.MSFlexGrid1->Rows() - 1);
    }
};

QTEST_MAIN(TestReceiveFuzz)
#include "tst_receive_fuzz.moc"
