// The speed of render_note on a realistic note, beside the cheapest pass that
// does comparable work: each sample times one constant gain, clipped and stored.
// Items are output samples, one per source frame whatever the channel count.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bytes.h"
#include "render/plan.h"
#include "render/render.h"
#include "wave/source.h"

namespace {

constexpr std::int32_t rate = 44100;
constexpr std::int32_t seconds = 10;
constexpr std::int32_t frames = rate * seconds;

// A source of 10 s: a tone with some noise, loud enough to clip now and then
// at the gains below.
SourceInfo make_source(std::uint16_t channels)
{
    SourceInfo src;
    const std::size_t data = 44;
    const std::size_t bytes = std::size_t{frames} * 2 * channels;
    src.block.data = std::make_unique<unsigned char[]>(data + bytes);
    src.block.size = data + bytes;
    std::uint32_t noise = 12345;
    unsigned char *out = src.block.data.get() + data;
    for (std::int32_t f = 0; f < frames; ++f) {
        for (std::uint16_t c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double tone = 30000.0 * std::sin(0.0627 * f + c);
            const double v = tone + static_cast<double>(noise >> 20) - 2048.0;
            const double clipped = v > 32767.0 ? 32767.0 : v < -32768.0 ? -32768.0 : v;
            put_le16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(clipped)));
            out += 2;
        }
    }
    src.sample_rate = rate;
    src.channels = channels;
    src.block_align = static_cast<std::uint16_t>(2 * channels);
    src.data_size = static_cast<std::int32_t>(bytes);
    src.sample_data = data;
    src.bytes_present = static_cast<std::int32_t>(bytes);
    return src;
}

// The long form with every segment non-empty and a 30 ms overlap.
const TimePoints long_note = {{0, 20000, 120000, 2500000, 7000000, 9000000, 1000000.0 * seconds}, 30000};
const Volumes gains = {1.2, 0.9, 0.7, 0.45, 0.8}; // v1, v2, v3, v4, v5

void render(benchmark::State &state, std::uint16_t channels)
{
    const SourceInfo src = make_source(channels);
    NotePlan plan;
    if (plan_note(long_note, src, &plan)) {
        state.SkipWithError("plan refused");
        return;
    }
    std::vector<unsigned char> buf(static_cast<std::size_t>(plan.buffer_bytes));
    // The earlier output that the overlap reads back.
    std::vector<unsigned char> earlier(static_cast<std::size_t>(plan.overlap_bytes));
    for (std::size_t i = 0; i < earlier.size(); i += 2)
        put_le16(&earlier[i], static_cast<std::uint16_t>(static_cast<std::int16_t>(
                                  8000.0 * std::sin(0.01 * static_cast<double>(i)))));
    std::int32_t rendered = 0;
    for (auto _ : state) {
        std::memcpy(buf.data(), earlier.data(), earlier.size());
        rendered = render_note(plan, gains, src, plan.overlap_samples, buf).rendered_samples;
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * rendered);
}

void BM_render_mono(benchmark::State &state) { render(state, 1); }
void BM_render_stereo(benchmark::State &state) { render(state, 2); }

// The floor: one multiplication by a constant gain, the clip and the store.
void BM_constant_gain(benchmark::State &state)
{
    const SourceInfo src = make_source(1);
    std::vector<std::int16_t> in(static_cast<std::size_t>(frames));
    std::memcpy(in.data(), src.block.data.get() + src.sample_data, in.size() * 2);
    std::vector<std::int16_t> out(in.size());
    double g = 0.7;
    benchmark::DoNotOptimize(g);
    for (auto _ : state) {
        const std::int16_t *x = in.data();
        std::int16_t *y = out.data();
        for (std::size_t i = 0; i < in.size(); ++i) {
            const double v = x[i] * g;
            y[i] = v > 32767.0 ? std::int16_t{32767}
                   : v < -32767.0 ? std::int16_t{-32767}
                                  : static_cast<std::int16_t>(v);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * frames);
}

} // namespace

BENCHMARK(BM_render_mono)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_render_stereo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_constant_gain)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
