#include "binary_export.h"
#include "fit_file.h"
#include "import_formats.h"
#include "xls_reader.h"
#include "xlsx_reader.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace binary_export {

std::optional<Sessions> read(const QByteArray& bytes)
{
    if (bytes.size() > kMaxImportBytes)
        return Sessions{{}, QStringLiteral("The file is larger than 10 MB: no chronograph's export is that large.")};
    if (fit_file::looksLikeFit(bytes))
        return readXeroFit(bytes);
    if (xlsx_reader::looksLikeXlsx(bytes) || xls_reader::looksLikeXls(bytes))
        return readXeroWorkbook(bytes);
    return std::nullopt;
}

Sessions checked(Sessions sessions)
{
    for (ImportedString& s : sessions.strings) {
        const double top = *std::max_element(s.velocities.begin(), s.velocities.end());
        if (!std::isfinite(top) || top >= kMaxVelocity)
            return {{}, QStringLiteral("The file gives a velocity of %1, more than any chronograph measures.")
                            .arg(QLocale::c().toString(top, 'g', 8))};
        const QString disagreement = import_formats::summaryDisagreement(s);
        if (!disagreement.isEmpty())
            s.problem = s.problem.isEmpty() ? disagreement : s.problem + QStringLiteral("; ") + disagreement;
    }
    return sessions;
}

} // namespace binary_export
