#pragma once

#include <QString>
#include <QStringList>

// Live line decoders of the serial chronographs. They take the received line and return
// whether it is a shot and its velocity in feet per second. A marked field that is not a
// number raises TypeMismatch; a Combro count of zero raises DivisionByZero.
struct DecodedLine {
    bool countShot = false;
    double fps = 0.0;
};

// Shooting Chrony: comma-separated fields, the velocity marked "Vf" (fps) or "Vm" (metric).
// With eurozone set, points become commas before the regional conversion.
DecodedLine decodeChronyLine(const QString& line, bool eurozone);

// Combro CB-625: a timer count whose length (4, 6 or 7 characters) tells the version.
DecodedLine decodeCombroLine(const QString& line);

// Cuts a text into pieces of n characters; the last element is always empty.
QStringList SplitEvery(const QString& text, int n, const QString& delimiter);
