// Requests to the relay service.
#include "relay_protocol.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string body(reinterpret_cast<const char*>(data), size);
    const auto request = relay::parseRequest(body);
    if (request && body.size() > relay::kMaxRequestBytes)
        std::abort();
    return 0;
}
