// Writes "shotok.wav": a short, soft two-tone click of our own making (16-bit mono PCM).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {
void put16(std::FILE* f, uint16_t v)
{
    std::fputc(v & 0xff, f);
    std::fputc(v >> 8, f);
}
void put32(std::FILE* f, uint32_t v)
{
    put16(f, v & 0xffff);
    put16(f, v >> 16);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-shot-sound OUTPUT.wav\n");
        return 2;
    }
    const uint32_t rate = 22050;
    const double seconds = 0.12;
    std::vector<int16_t> samples(static_cast<size_t>(rate * seconds));
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i) / rate;
        const double envelope = std::exp(-t * 40.0);
        const double tone = 0.6 * std::sin(2 * M_PI * 1320.0 * t) + 0.4 * std::sin(2 * M_PI * 1980.0 * t);
        samples[i] = static_cast<int16_t>(12000.0 * envelope * tone);
    }
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1);
    put16(f, 1);
    put32(f, rate);
    put32(f, rate * 2);
    put16(f, 2);
    put16(f, 16);
    std::fwrite("data", 1, 4, f);
    put32(f, dataBytes);
    for (int16_t s : samples)
        put16(f, static_cast<uint16_t>(s));
    return std::fclose(f) == 0 ? 0 : 1;
}
