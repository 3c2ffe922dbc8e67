// Boost's assertions in builds that keep them (Debug and the sanitizer build), with one exception.
// Beast's chunk parser asserts that a last chunk it reads again still holds at least
// "0\r\n\r\n"; a client that sends its last chunk a byte at a time breaks that, though the
// parsing after the assertion stays within the bytes received and release builds leave the
// assertion out. A slow client must not stop the relay, so that one is passed over; every other
// assertion still stops the program.
#include <boost/assert.hpp>

#if defined(NDEBUG) && defined(BOOST_ENABLE_ASSERT_HANDLER)
#error "a release build keeps no Boost assertion: a client must not be able to stop the service"
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace boost {

void assertion_failed(char const* expr, char const* function, char const* file, long line)
{
    if (std::strcmp(expr, "n >= 5") == 0 && std::strstr(file, "beast/http/impl/basic_parser.ipp"))
        return;
    std::fprintf(stderr, "%s:%ld: %s: Assertion `%s' failed.\n", file, line, function, expr);
    std::abort();
}

void assertion_failed_msg(char const* expr, char const* msg, char const* function, char const* file, long line)
{
    std::fprintf(stderr, "%s:%ld: %s: Assertion `%s' failed: %s\n", file, line, function, expr, msg);
    std::abort();
}

} // namespace boost
