#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// The ProChrono's frames: ":" and two-digit upper-case hexadecimal byte fields.
namespace prochrono {

inline const QString kStatusQuery = QStringLiteral(":000000037D");
inline const QString kChangeString = QStringLiteral(":000000057B");
inline const QString kDeleteString = QStringLiteral(":0000000779");

// A piece converted as a hexadecimal number; TypeMismatch when it is not one.
int hexValue(const QString& piece);
// Two upper-case hexadecimal digits.
QString hexByte(int value);

// The next whole number at or above x (x >= 0).
int UpIt(double x);

// The six check bytes of a dump of string s: c1 = 0x7E - s, c2 = c1 - 5, c3 = c1 - 17,
// c4 = c1 - 22, c5 = c1 - 5, c6 = c1 - 10, as two hexadecimal digits.
QStringList checkValues(int stringNumber);

// The read-block frames of a dump: blocks 1 to 6 at addresses 1, 6, ... 26 with c1, c2, c3,
// c1, c2, c3; later blocks from address 31 cycling c4, c5, c6. The string goes as two decimal digits.
QStringList dumpFrames(int stringNumber, int shotsInString);

// Pieces of the last `characters` characters of a reply (two characters each).
QStringList lastPieces(const QString& reply, int characters);

// The live decoder's decision on one line buffer.
struct LiveReading {
    bool countShot = false;
    double fps = 0;
    QString lastShotRecorded;
    bool firstReply = true;
    // Shots the count moved past that no reply showed (fired while the device was away, or two
    // between polls): only the last of them is in this reply.
    int missed = 0;
};
// Only a buffer of exactly 15 characters is a status reply; the first non-zero reply is a
// baseline; afterwards a different reply in the same string without fewer shots is one shot.
LiveReading decodeLive(const QString& buffer, const QString& lastShotRecorded, bool firstReply);

// The velocities of one block reply, calibrated, up to the first empty (zero) slot.
std::vector<double> blockVelocities(const QStringList& pieces, double calibrationPercent);

} // namespace prochrono
