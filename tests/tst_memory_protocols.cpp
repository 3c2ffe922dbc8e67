// The ProChrono frames and the Shooting Chrony memory replies, on literal texts.
#include "drivers/chrony_memory.h"
#include "drivers/prochrono_protocol.h"
#include "services/app_error.h"

#include <QRandomGenerator>
#include <QTest>

using namespace prochrono;

namespace {
// A status reply: ":" 00 string count 00 low high check.
QString status(int string, int count, int fps)
{
    return QStringLiteral(":00") + hexByte(string) + hexByte(count) + QStringLiteral("00") + hexByte(fps & 0xFF) +
           hexByte(fps >> 8) + QStringLiteral("FF");
}
} // namespace

class TestMemoryProtocols : public QObject {
    Q_OBJECT
private slots:
    void readBlockFramesAndCheckBytes()
    {
        QCOMPARE(checkValues(3).mid(0, 3), QStringList({"7B", "76", "6A"}));
        QCOMPARE(dumpFrames(3, 11), QStringList({":000301017B", ":0003060176", ":00030B016A"}));
        QCOMPARE(dumpFrames(12, 1), QStringList({":00120101" + hexByte(0x7E - 12)}));
        QCOMPARE(dumpFrames(3, 7).size(), 2);
        QCOMPARE(dumpFrames(3, 10).size(), 2);
        QCOMPARE(dumpFrames(3, 11).size(), 3);
        QCOMPARE(dumpFrames(3, 0).size(), 0);
        // Blocks 1-6 cycle c1..c3 twice; from address 31 on, c4, c5, c6.
        const QStringList c = checkValues(1);
        const QStringList frames = dumpFrames(1, 50);
        QCOMPARE(frames.size(), 10);
        const QStringList expected{c[0], c[1], c[2], c[0], c[1], c[2], c[3], c[4], c[5], c[3]};
        for (int b = 0; b < frames.size(); ++b) {
            QCOMPARE(frames[b].mid(5, 2), hexByte(1 + 5 * b));
            QCOMPARE(frames[b].right(2), expected[b]);
        }
        QCOMPARE(UpIt(1.4), 2);
        QCOMPARE(UpIt(2.0), 2);
        QCOMPARE(UpIt(0), 0);
    }

    void liveDecoderBaselinesAndShots()
    {
        // The first non-zero reply is only a baseline.
        LiveReading r = decodeLive(status(1, 4, 800), QString(), true);
        QVERIFY(!r.countShot);
        QVERIFY(!r.firstReply);
        QCOMPARE(r.lastShotRecorded, status(1, 4, 800).right(14));
        // A higher count in the same string: one shot; bytes 2C 03 are 812 fps.
        const QString shot = status(1, 5, 812);
        QCOMPARE(shot.mid(9, 4), QStringLiteral("2C03"));
        r = decodeLive(shot, status(1, 4, 800).right(14), false);
        QVERIFY(r.countShot);
        QCOMPARE(r.fps, 812.0);
        QCOMPARE(r.missed, 0);
        // The count moved by three (shots while unplugged, or two between polls): the reply shows
        // the last; the two before it are missed, and said so.
        QCOMPARE(decodeLive(status(1, 8, 812), status(1, 5, 800).right(14), false).missed, 2);
        QCOMPARE(decodeLive(status(1, 0x10, 812), status(1, 0x0F, 800).right(14), false).missed, 0);
        // The same reply again: nothing.
        r = decodeLive(shot, r.lastShotRecorded, false);
        QVERIFY(!r.countShot);
        // Another string: a new baseline.
        r = decodeLive(status(2, 1, 790), shot.right(14), false);
        QVERIFY(!r.countShot);
        QCOMPARE(r.lastShotRecorded, status(2, 1, 790).right(14));
        // Fewer shots (some deleted): nothing.
        r = decodeLive(status(2, 0, 795), status(2, 3, 790).right(14), false);
        QVERIFY(!r.countShot);
        // A zero velocity, or the wrong length, is never a shot.
        QVERIFY(!decodeLive(status(1, 6, 0), shot.right(14), false).countShot);
        QVERIFY(!decodeLive(shot.left(14), QString(), false).countShot);
        QVERIFY(!decodeLive(shot + u'0', QString(), false).countShot);
        QVERIFY_THROWS_EXCEPTION(AppError, decodeLive(QStringLiteral(":0001050000ZZ00"), QString(), false));
    }

    void blockRepliesStopAtAnEmptySlot()
    {
        const QString reply = QStringLiteral(":00030B0A") + QStringLiteral("2C03") + QStringLiteral("1E03") +
                              QStringLiteral("0000") + QStringLiteral("2C03") + QStringLiteral("0000") +
                              QStringLiteral("AA");
        QCOMPARE(reply.size(), 31);
        const std::vector<double> v = blockVelocities(lastPieces(reply, 30), 100);
        QCOMPARE(v, std::vector<double>({812, 798}));
        const std::vector<double> calibrated = blockVelocities(lastPieces(reply, 30), 102.5);
        QCOMPARE(calibrated[0], 812 * 1.025);
        QVERIFY_THROWS_EXCEPTION(AppError, blockVelocities(lastPieces(reply.left(20), 30), 100));
    }

    void chronyRepliesAreRead()
    {
        auto lines = chrony_memory::parseReply(
            QStringLiteral("SYSX\r\n\r\nnf Strings, 3\r\nnf Current, 2\r\n}ok!\r\n\r\n"));
        QCOMPARE(int(lines.size()), 2);
        QCOMPARE(lines[0].kind, chrony_memory::ReplyLine::Strings);
        QCOMPARE(lines[0].number, 3);
        QCOMPARE(lines[1].kind, chrony_memory::ReplyLine::Current);
        QCOMPARE(lines[1].number, 2);
        lines = chrony_memory::parseReply(QStringLiteral("Strings,x\r\nnfCurrent,  12abc"));
        QCOMPARE(lines[0].number, 0);
        QCOMPARE(lines[1].number, 12);
        QCOMPARE(chrony_memory::pointerMoves(3, 1), QStringList({"X.DEC", "X.DEC"}));
        QCOMPARE(chrony_memory::pointerMoves(1, 3), QStringList({"X.INC", "X.INC"}));
        QVERIFY(chrony_memory::pointerMoves(2, 2).isEmpty());
        QCOMPARE(chrony_memory::parseReply(QStringLiteral("Strings, 99999999"))[0].number, 0);
    }

    // Random replies never crash the decoders; a shot only ever comes from a 15-character reply.
    void garbageReplies()
    {
        QRandomGenerator random(73);
        const QByteArray alphabet(":0123456789ABCDEFabcdefXZ\r\n ");
        QString last;
        bool first = true;
        for (int i = 0; i < 200000; ++i) {
            QString text;
            const int length = int(random.bounded(40));
            for (int c = 0; c < length; ++c)
                text += QChar(random.bounded(4) == 0 ? char16_t(random.bounded(256))
                                                     : char16_t(alphabet[int(random.bounded(alphabet.size()))]));
            try {
                const LiveReading r = decodeLive(text, last, first);
                QVERIFY(!r.countShot || text.size() == 15);
                QVERIFY(r.fps >= 0 && r.fps <= 65535);
                last = r.lastShotRecorded;
                first = r.firstReply;
            } catch (const AppError&) {
            }
            try {
                for (double v : blockVelocities(lastPieces(text, 30), 100))
                    QVERIFY(v > 0 && v <= 65535);
            } catch (const AppError&) {
            }
            chrony_memory::parseReply(text);
        }
    }
};

QTEST_GUILESS_MAIN(TestMemoryProtocols)
#include "tst_memory_protocols.moc"
