// Raw bytes as the relay's HTTP layer reads them from a connection, in pieces of varying size:
// the parser with the server's limits, the header rules, then the XML request.
#include "relay_http.h"
#include "relay_protocol.h"

#include <boost/asio/buffer.hpp>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses how many bytes arrive at a time.
    const size_t piece = size_t(data[0] % 64) + 1;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    relay::HttpParser parser;
    relay::limitParser(parser);
    parser.eager(true);
    std::string pending;
    bool checked = false;
    for (size_t at = 0; at < bytes.size() && !parser.is_done();) {
        pending.append(bytes, at, piece);
        at += piece;
        boost::beast::error_code ec;
        const size_t used = parser.put(boost::asio::buffer(pending), ec);
        if (ec == boost::beast::http::error::need_more) {
            pending.erase(0, used);
            continue;
        }
        if (ec)
            return 0;
        pending.erase(0, used);
        if (parser.is_header_done() && !checked) {
            checked = true;
            if (relay::checkHeader(parser.get()) != relay::HeaderVerdict::Accepted)
                return 0;
        }
    }
    if (!parser.is_done())
        return 0;
    const std::string& body = parser.get().body().text;
    if (body.size() > relay::kMaxRequestBytes)
        std::abort();
    (void)relay::parseRequest(body);
    return 0;
}
