// wavgen <file> <channels> <rate> <frames>: writes a 16-bit PCM WAVE file
// whose samples come from integer arithmetic alone, so that every build and
// platform writes the same bytes. Each channel is a full-scale sawtooth of its
// own pitch with a slower triangle added, wrapped to 16 bits: loud enough that
// envelopes above 100 % and overlapping notes reach the clipping limits.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void put16(std::vector<unsigned char> *b, std::uint32_t v)
{
    b->push_back(static_cast<unsigned char>(v & 0xff));
    b->push_back(static_cast<unsigned char>((v >> 8) & 0xff));
}

void put32(std::vector<unsigned char> *b, std::uint32_t v)
{
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

void put_id(std::vector<unsigned char> *b, const char *id)
{
    b->insert(b->end(), id, id + 4);
}

std::uint16_t sample(std::uint32_t frame, std::uint32_t channel)
{
    const std::uint32_t saw = frame * (397u + 211u * channel);
    const std::uint32_t phase = (frame * 13u) % 8192u;
    const std::uint32_t triangle = phase < 4096u ? phase : 8191u - phase;
    return static_cast<std::uint16_t>((saw + 4u * triangle) & 0xffffu);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fputs("wavgen <file> <channels> <rate> <frames>\n", stderr);
        return 2;
    }
    const long channels = std::strtol(argv[2], nullptr, 10);
    const long rate = std::strtol(argv[3], nullptr, 10);
    const long frames = std::strtol(argv[4], nullptr, 10);
    if (channels < 1 || channels > 8 || rate < 1 || rate > 192000 || frames < 0 ||
        frames > 10000000) {
        std::fputs("wavgen: channels 1 to 8, rate 1 to 192000, frames 0 to 10000000\n", stderr);
        return 2;
    }
    const auto ch = static_cast<std::uint32_t>(channels);
    const auto align = 2u * ch;
    const auto data_bytes = static_cast<std::uint32_t>(frames) * align;
    std::vector<unsigned char> b;
    put_id(&b, "RIFF");
    put32(&b, 36u + data_bytes);
    put_id(&b, "WAVE");
    put_id(&b, "fmt ");
    put32(&b, 16);
    put16(&b, 1);
    put16(&b, ch);
    put32(&b, static_cast<std::uint32_t>(rate));
    put32(&b, static_cast<std::uint32_t>(rate) * align);
    put16(&b, align);
    put16(&b, 16);
    put_id(&b, "data");
    put32(&b, data_bytes);
    for (std::uint32_t f = 0; f < static_cast<std::uint32_t>(frames); ++f)
        for (std::uint32_t c = 0; c < ch; ++c)
            put16(&b, sample(f, c));
    std::FILE *out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(b.data(), 1, b.size(), out) != b.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "wavgen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
