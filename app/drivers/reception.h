#pragma once

#include <QtGlobal>

class CaptureSession;

namespace reception {
// Longer than any line a supported chronograph sends.
inline constexpr qsizetype kMaxPartialLine = 256;
// A reply collected for a memory window up to its ">" prompt.
inline constexpr qsizetype kMaxMemoryReply = 4096;
// The watchdog's second: a partial line older than this is dropped even while characters keep
// coming (a device of another family, or at the wrong baud rate, never pauses for it).
inline constexpr qint64 kMaxPartialLineAgeMs = 1000;

// Whether the partial line (`length` characters, begun `ageMs` ago) must be dropped before
// `incoming` more characters are added to it.
bool dropPartialLine(qsizetype length, qsizetype incoming, qint64 ageMs, qsizetype limit = kMaxPartialLine);
} // namespace reception

// The serial receive path of the main window: characters into the line buffer, lines to the
// decoder of the selected chronograph, shots to the recording path. Any failure ends the
// event silently; the reading is lost.
void MSComm1_OnComm(CaptureSession& session);

// Decodes the line buffer with the selected family's decoder and applies the calibration.
double ReadCalibratedSpeed(CaptureSession& session);
double DecodeChronyLine(CaptureSession& session);
double DecodeCombroLine(CaptureSession& session);
