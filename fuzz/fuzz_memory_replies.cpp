// ProChrono status and block replies and Shooting Chrony memory replies.
#include "drivers/chrony_memory.h"
#include "drivers/prochrono_protocol.h"
#include "services/app_error.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString last = text.left(14);
    try {
        const prochrono::LiveReading r = prochrono::decodeLive(text, last, size % 2 == 0);
        if (r.countShot && text.size() != 15)
            std::abort();
        if (r.fps < 0 || r.fps > 65535)
            std::abort();
    } catch (const AppError&) {
    }
    try {
        for (double v : prochrono::blockVelocities(prochrono::lastPieces(text, 30), 100))
            if (!(v > 0 && v <= 65535))
                std::abort();
    } catch (const AppError&) {
    }
    for (const chrony_memory::ReplyLine& line : chrony_memory::parseReply(text))
        if (line.number < -32768 || line.number > 32767)
            std::abort();
    return 0;
}
