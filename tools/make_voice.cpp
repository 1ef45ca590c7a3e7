// make_voice: writes the demo's source recording, a synthesized sung scale.
//
// Eight sustained vowel tones climbing the C major scale from C4 to C5, each
// tone_ms long, back to back, as a mono 16-bit PCM WAVE file at 44100 Hz. Each
// tone is a glottal-pulse train (the derivative of a raised-cosine flow pulse,
// so lip radiation is built in) with a little breath noise, passed through a
// cascade of five formant resonators for its vowel, with a gentle delayed
// vibrato, a soft attack and decay, and its peak normalized to the same level.
// The output depends on nothing but this file: the noise comes from a fixed
// linear congruential generator, so every rebuild writes the same samples on
// the same compiler and machine.
//
// Standard library only, and not part of the project's build. To rebuild
// demo/voice.wav from the repository root:
//
//   g++ -O2 -std=c++20 tools/make_voice.cpp -o /tmp/make_voice
//   /tmp/make_voice demo/voice.wav
//
// The demo phrase (demo/render_phrase.cmake) cuts its notes out of this file
// by offset: tone k (k = 0 for C4 ... 7 for C5) occupies k * tone_ms to
// (k + 1) * tone_ms, steady between about 30 ms and tone_ms - 40 ms into it.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

constexpr int rate = 44100;
constexpr int tone_ms = 450;
constexpr double attack_s = 0.030;
constexpr double decay_s = 0.040;
constexpr double peak = 0.55 * 32767.0;  // every tone's peak: leaves room to mix notes

struct Vowel {
    std::array<double, 5> freq;  // formant centre frequencies, Hz
    std::array<double, 5> bw;    // formant bandwidths, Hz
};

// High-voice formants for the sung vowels a, e, i, o, u.
constexpr Vowel vowel_a{{800, 1150, 2900, 3900, 4950}, {80, 90, 120, 130, 140}};
constexpr Vowel vowel_e{{350, 2000, 2800, 3600, 4950}, {60, 100, 120, 150, 200}};
constexpr Vowel vowel_i{{270, 2140, 2950, 3900, 4950}, {60, 90, 100, 120, 120}};
constexpr Vowel vowel_o{{450, 800, 2830, 3800, 4950}, {70, 80, 100, 130, 135}};
constexpr Vowel vowel_u{{325, 700, 2700, 3800, 4950}, {50, 60, 170, 180, 200}};

struct Tone {
    double f0;  // Hz
    const Vowel *vowel;
};

// C4 D4 E4 F4 G4 A4 B4 C5, equal temperament from A4 = 440 Hz.
const std::array<Tone, 8> scale{{
    {261.6256, &vowel_a},
    {293.6648, &vowel_o},
    {329.6276, &vowel_e},
    {349.2282, &vowel_a},
    {391.9954, &vowel_o},
    {440.0000, &vowel_a},
    {493.8833, &vowel_e},
    {523.2511, &vowel_a},
}};

// Two-pole resonator with unity gain at 0 Hz.
struct Resonator {
    double a = 0, b = 0, c = 0, y1 = 0, y2 = 0;
    Resonator(double freq, double bw)
    {
        const double t = 1.0 / rate;
        c = -std::exp(-2.0 * std::numbers::pi * bw * t);
        b = 2.0 * std::exp(-std::numbers::pi * bw * t) * std::cos(2.0 * std::numbers::pi * freq * t);
        a = 1.0 - b - c;
    }
    double step(double x)
    {
        const double y = a * x + b * y1 + c * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Fixed-seed noise in [-1, 1).
struct Noise {
    std::uint32_t state = 0x2545F491u;
    double next()
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
};

// Derivative of a raised-cosine glottal flow pulse at phase ph in [0, 1):
// opening over the first 40 % of the period, closing over the next 16 %,
// closed for the rest. Peak-normalized so the closing edge reaches -1.
double glottal(double ph)
{
    constexpr double open = 0.40, close = 0.16;
    constexpr double pi = std::numbers::pi;
    constexpr double scale = 2.0 * close / pi;  // 1 / max |closing slope|
    if (ph < open)
        return scale * (0.5 * pi / open) * std::sin(pi * ph / open);
    if (ph < open + close)
        return -scale * (pi / (2.0 * close)) * std::sin(pi * (ph - open) / (2.0 * close));
    return 0.0;
}

std::vector<double> render_tone(const Tone &tone, Noise &noise)
{
    const int n = rate * tone_ms / 1000;
    std::vector<double> out(static_cast<std::size_t>(n));
    std::vector<Resonator> tract;
    for (std::size_t i = 0; i < 5; ++i)
        tract.emplace_back(tone.vowel->freq[i], tone.vowel->bw[i]);
    double phase = 0.0;
    double breath_lp = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        // Vibrato: 5.5 Hz, up to 25 cents, fading in after the attack.
        const double depth = 0.25 * std::min(1.0, std::max(0.0, (t - 0.08) / 0.15));
        const double cents = depth * 100.0 * std::sin(2.0 * std::numbers::pi * 5.5 * t);
        const double f0 = tone.f0 * std::pow(2.0, cents / 1200.0);
        phase += f0 / rate;
        if (phase >= 1.0)
            phase -= 1.0;
        // Breath: low-passed noise, strongest while the glottis is open.
        breath_lp += 0.3 * (noise.next() - breath_lp);
        const double breath = (phase < 0.56 ? 0.06 : 0.02) * breath_lp;
        double x = glottal(phase) + breath;
        for (Resonator &r : tract)
            x = r.step(x);
        out[static_cast<std::size_t>(i)] = x;
    }
    // High-pass away the resonators' 0 Hz gain (the pulse derivative has no
    // mean, but the breath noise does a little).
    double prev_x = 0.0, prev_y = 0.0;
    for (double &s : out) {
        const double y = s - prev_x + 0.995 * prev_y;
        prev_x = s;
        prev_y = y;
        s = y;
    }
    // Soft attack and decay: raised-cosine ramps.
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double left = static_cast<double>(n - i) / rate;
        double g = 1.0;
        if (t < attack_s)
            g = 0.5 - 0.5 * std::cos(std::numbers::pi * t / attack_s);
        else if (left < decay_s)
            g = 0.5 - 0.5 * std::cos(std::numbers::pi * left / decay_s);
        out[static_cast<std::size_t>(i)] *= g;
    }
    double max = 0.0;
    for (double s : out)
        max = std::max(max, std::fabs(s));
    for (double &s : out)
        s *= peak / max;
    return out;
}

void put16(std::FILE *f, std::uint16_t v)
{
    const unsigned char b[2] = {static_cast<unsigned char>(v & 0xff),
                                static_cast<unsigned char>(v >> 8)};
    std::fwrite(b, 1, 2, f);
}

void put32(std::FILE *f, std::uint32_t v)
{
    put16(f, static_cast<std::uint16_t>(v & 0xffff));
    put16(f, static_cast<std::uint16_t>(v >> 16));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs("usage: make_voice <out.wav>\n", stderr);
        return 2;
    }
    Noise noise;
    std::vector<std::int16_t> pcm;
    for (const Tone &tone : scale)
        for (double s : render_tone(tone, noise))
            pcm.push_back(static_cast<std::int16_t>(std::lround(s)));

    std::FILE *f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    const auto data_size = static_cast<std::uint32_t>(pcm.size() * 2);
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + data_size);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);        // fmt chunk size
    put16(f, 1);         // PCM
    put16(f, 1);         // mono
    put32(f, rate);      // samples per second
    put32(f, rate * 2);  // bytes per second
    put16(f, 2);         // block align
    put16(f, 16);        // bits per sample
    std::fwrite("data", 1, 4, f);
    put32(f, data_size);
    for (std::int16_t s : pcm)
        put16(f, static_cast<std::uint16_t>(s));
    if (std::fclose(f) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    std::printf("%s: %zu samples, %.2f s\n", argv[1], pcm.size(),
                static_cast<double>(pcm.size()) / rate);
    return 0;
}
