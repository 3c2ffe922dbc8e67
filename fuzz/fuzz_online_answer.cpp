// Answers of the online service, read with XPath.
#include "data_options/online_exchange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    online::readAnswer(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
