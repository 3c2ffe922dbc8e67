#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

enum class VelocityUnit { Unknown, Fps, MetresPerSecond };

// "fps" or "m/s".
QString unitWord(VelocityUnit unit);
// The velocity in fps.
double toFps(double velocity, VelocityUnit unit);

// A number as a file wrote it, with how many decimals it had: a device that truncates or rounds
// to that many decimals is within one unit of the last one.
struct FileNumber {
    double value = 0;
    int decimals = 0;
    // One unit of the last digit written.
    double lastDigit() const;
};

// How the file computed its standard deviation.
enum class DeviationConvention { Unknown, DividesByN, DividesByNMinus1 };

// What an export says about its own string, to be checked against its shots.
struct FileSummary {
    std::optional<FileNumber> average;
    std::optional<FileNumber> deviation;
    std::optional<FileNumber> spread;
    DeviationConvention convention = DeviationConvention::Unknown;
};

// A string read from another program's or device's export, in the file's own unit.
struct ImportedString {
    QString format;      // the device or format, as shown in the history
    QString title;       // the session's title or series, as the file gives it
    QString label;       // the string's own label, as a load-development row's charge ("37.5 gr"); "" when none
    VelocityUnit unit = VelocityUnit::Unknown;
    std::vector<double> velocities;
    std::vector<QString> numbers; // the shots' numbers as the file gives them
    std::vector<QString> times;   // the shots' times, "" when the file gives none
    int velocityDecimals = 0;     // the most decimals a velocity was written with
    double grains = 0;            // the projectile's weight, 0 when not given
    QDateTime when;               // when the string was shot, invalid when the file does not say
    FileSummary summary;
    QString problem; // lines passed over, a summary that disagrees with the shots

    // "19 shots, 2776.5 to 2808.2 fps, from 105 hybrid 31.0gt, 6 April 2024".
    QString description() const;

    // What makes two readings one session: the label, unit, date, shots, their numbers and
    // times, but not the title or the format, since a workbook may hold a session twice under
    // two titles and the same session may come in two exports. A SHA-256 in hex.
    QString fingerprint() const;
};

// The strings a file holds (a session, a workbook's sheets, a load-development table's rows),
// or, when the file is refused, one sentence saying why. Neither: the file is not this format.
struct ImportResult {
    std::vector<ImportedString> strings;
    QString refusal;

    static ImportResult one(ImportedString s);
    static ImportResult refused(QString why);
    bool isRefused() const { return !refusal.isEmpty(); }
};

// Files larger than this are refused: no chronograph export comes near it.
inline constexpr qint64 kMaxImportBytes = 10 * 1024 * 1024;
// A string holds at most this many shots, as the shot table does.
inline constexpr size_t kMaxShots = 32767;
// A title is cut to this many characters: it is written into every row of the archive.
inline constexpr qsizetype kMaxTitle = 200;
// Velocities from this on (in fps or m/s) are refused as no chronograph's reading.
inline constexpr double kMaxVelocity = 20000;
