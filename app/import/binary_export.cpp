#include "binary_export.h"
#include "fit_file.h"
#include "xls_reader.h"
#include "xlsx_reader.h"

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

} // namespace binary_export
