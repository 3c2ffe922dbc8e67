#include "binary_export.h"
#include "fit_file.h"

#include <QDateTime>
#include <QLocale>

namespace binary_export {

namespace {

// The chronograph's messages in the FIT profile, and their fields.
constexpr int kSessionMessage = 387;
constexpr int kShotMessage = 388;
enum SessionField { MinSpeed = 0, MaxSpeed = 1, AverageSpeed = 2, ShotCount = 3, GrainWeight = 5, Deviation = 6 };
enum ShotField { ShotSpeed = 0, ShotNumber = 1 };

// Speeds are whole millimetres per second.
constexpr int kSpeedDecimals = 3;

// A field's value as a whole number, none when it is none or beyond what the field can mean.
std::optional<qint64> whole(std::optional<double> value)
{
    if (!value || !(*value >= 0 && *value < 4294967296.0))
        return std::nullopt;
    return qint64(*value);
}

QDateTime fitTime(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds + fit_file::kEpochOffset, Qt::UTC).toLocalTime();
}

FileNumber speed(double millimetres)
{
    return {millimetres / 1000, kSpeedDecimals};
}

ImportedString session(const fit_file::Message* summary, const std::vector<const fit_file::Message*>& shots)
{
    ImportedString s;
    s.format = QStringLiteral("Garmin Xero C1 Pro (FIT)");
    s.unit = VelocityUnit::MetresPerSecond;
    s.velocityDecimals = kSpeedDecimals;
    s.summary.convention = DeviationConvention::DividesByN;
    int passed = 0;
    for (const fit_file::Message* shot : shots) {
        const auto v = whole(shot->value(ShotSpeed));
        if (!v || *v <= 0) {
            ++passed;
            continue;
        }
        s.velocities.push_back(double(*v) / 1000);
        const auto number = whole(shot->value(ShotNumber));
        s.numbers.push_back(QString::number(number ? *number : qint64(s.velocities.size())));
        const auto t = whole(shot->value(fit_file::kTimestampField));
        s.times.push_back(t ? QLocale::c().toString(fitTime(*t).time(), QStringLiteral("HH:mm:ss")) : QString());
        if (t && !s.when.isValid())
            s.when = fitTime(*t);
    }
    QStringList notes;
    if (passed == 1)
        notes.append(QStringLiteral("1 shot without a speed was passed over"));
    else if (passed > 1)
        notes.append(QStringLiteral("%1 shots without a speed were passed over").arg(passed));
    if (summary) {
        if (const auto t = whole(summary->value(fit_file::kTimestampField)))
            s.when = fitTime(*t);
        if (const auto v = whole(summary->value(AverageSpeed)))
            s.summary.average = speed(double(*v));
        if (const auto v = whole(summary->value(Deviation)))
            s.summary.deviation = speed(double(*v));
        const auto low = whole(summary->value(MinSpeed));
        const auto high = whole(summary->value(MaxSpeed));
        if (low && high && *high >= *low)
            s.summary.spread = speed(double(*high - *low));
        if (const auto v = whole(summary->value(GrainWeight)))
            s.grains = double(*v) / 10;
        const auto count = whole(summary->value(ShotCount));
        if (count && *count != qint64(shots.size()))
            notes.append(
                QStringLiteral("the session counts %1 shots but the file holds %2").arg(*count).arg(shots.size()));
    }
    s.problem = notes.join(QStringLiteral("; "));
    return s;
}

} // namespace

Sessions readXeroFit(const QByteArray& bytes)
{
    const fit_file::File file = fit_file::decode(bytes);
    if (!file.refusal.isEmpty())
        return {{}, file.refusal};
    // A session's shots follow its summary; were the summary written last, they come before it.
    std::vector<const fit_file::Message*> summaries;
    std::vector<std::vector<const fit_file::Message*>> groups(1);
    bool summaryFirst = true;
    bool seenShot = false;
    for (const fit_file::Message& m : file.messages) {
        if (m.global == kShotMessage) {
            seenShot = true;
            if (groups.back().size() >= kMaxShots)
                return {{},
                        QStringLiteral("A session in the FIT file holds more than %1 shots, more than a string "
                                       "can hold.")
                            .arg(kMaxShots)};
            groups.back().push_back(&m);
        } else if (m.global == kSessionMessage) {
            if (summaries.empty())
                summaryFirst = !seenShot;
            summaries.push_back(&m);
            groups.emplace_back();
        }
    }
    if (summaries.empty() && !seenShot)
        return {{}, QStringLiteral("The FIT file holds no chronograph session: it is another kind of FIT file.")};
    Sessions out;
    // Summary first: group 0 (before any summary) is empty and group i + 1 holds summary i's shots.
    // Summary last: group i holds summary i's shots and the last group, shots without one.
    const size_t offset = summaryFirst ? 1 : 0;
    for (size_t g = 0; g < groups.size(); ++g) {
        const qsizetype index = qsizetype(g) - qsizetype(offset);
        const fit_file::Message* summary =
            index >= 0 && size_t(index) < summaries.size() ? summaries[size_t(index)] : nullptr;
        if (groups[g].empty() && !summary)
            continue;
        ImportedString s = session(summary, groups[g]);
        if (s.velocities.empty())
            continue;
        out.strings.push_back(std::move(s));
    }
    if (out.strings.empty())
        return {{}, QStringLiteral("The FIT file's chronograph sessions hold no shots.")};
    return out;
}

} // namespace binary_export
