#include "prochrono_protocol.h"

#include "drivers/line_decoders.h"
#include "services/app_error.h"

#include <cmath>

namespace prochrono {

namespace {
// A piece that is not there: the reply was shorter than its kind.
const QString& piece(const QStringList& pieces, int index)
{
    if (index < 0 || index >= pieces.size() || pieces[index].size() != 2)
        throw AppError(9, QStringLiteral("Subscript out of range"));
    return pieces[index];
}
} // namespace

int hexValue(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 16);
    if (!ok || text.isEmpty() || text.startsWith(u'-') || text.startsWith(u'+'))
        AppError::raise(AppError::TypeMismatch);
    return value;
}

QString hexByte(int value)
{
    return QString::number(value & 0xFF, 16).toUpper().rightJustified(2, u'0');
}

int UpIt(double x)
{
    const double whole = std::floor(x);
    return int(whole) + (x > whole ? 1 : 0);
}

QStringList checkValues(int s)
{
    const int c1 = 0x7E - s;
    QStringList values;
    for (int c : {c1, c1 - 5, c1 - 17, c1 - 22, c1 - 5, c1 - 10})
        values.append(hexByte(c));
    return values;
}

QStringList dumpFrames(int stringNumber, int shotsInString)
{
    const QStringList checks = checkValues(stringNumber);
    const QString string = QString::number(stringNumber).rightJustified(2, u'0');
    QStringList frames;
    int address = 1;
    int k = 1;
    const int blocks = UpIt(shotsInString / 5.0);
    for (int b = 1; b <= blocks; ++b) {
        frames.append(QStringLiteral(":00") + string + hexByte(address) + QStringLiteral("01") + checks[k - 1]);
        address += 5;
        ++k;
        if (address > 30) {
            if (k > 6)
                k = 4;
        } else if (k > 3) {
            k = 1;
        }
    }
    return frames;
}

QStringList lastPieces(const QString& reply, int characters)
{
    return SplitEvery(reply.right(characters), 2, QStringLiteral("\x01"));
}

LiveReading decodeLive(const QString& buffer, const QString& lastShotRecorded, bool firstReply)
{
    LiveReading r{false, 0, lastShotRecorded, firstReply};
    if (buffer.size() != 15)
        return r;
    const QString s = buffer.right(14);
    const QStringList pieces = lastPieces(s, 14);
    const double v = 256.0 * hexValue(piece(pieces, 5)) + hexValue(piece(pieces, 4));
    r.fps = v;
    if (v != 0 && s != lastShotRecorded && !firstReply) {
        const QStringList old = lastPieces(lastShotRecorded, 14);
        r.lastShotRecorded = s;
        const QString oldString = old.value(1);
        const QString oldCount = old.value(2);
        if (pieces[1] != oldString)
            r.countShot = false; // another string: a new baseline
        else if (pieces[2] < oldCount)
            r.countShot = false; // shots were deleted
        else {
            r.countShot = true;
            bool okNew = false, okOld = false;
            const int gap = pieces[2].toInt(&okNew, 16) - oldCount.toInt(&okOld, 16);
            if (okNew && okOld && gap > 1)
                r.missed = gap - 1;
        }
    } else if (v != 0 && s != lastShotRecorded && firstReply) {
        r.lastShotRecorded = s;
        r.firstReply = false;
    }
    return r;
}

std::vector<double> blockVelocities(const QStringList& pieces, double calibrationPercent)
{
    std::vector<double> velocities;
    double v[6] = {};
    for (int k = 1; k <= 5; ++k)
        v[k] = (256.0 * hexValue(piece(pieces, 2 * k + 3)) + hexValue(piece(pieces, 2 * k + 2))) *
               calibrationPercent / 100.0;
    for (int k = 1; k <= 5; ++k) {
        if (v[k] == 0)
            break;
        velocities.push_back(v[k]);
    }
    return velocities;
}

} // namespace prochrono
