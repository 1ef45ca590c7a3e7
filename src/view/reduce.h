// An output's samples reduced to what a picture can show: per pixel column the
// lowest and highest sample and whether any is clipped, the peak, and the
// clipped samples counted up to given positions (so that each note's count is
// the difference of two).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace view {

// The renderer stores a clipped sample as exactly +32767 or -32767; those are
// the samples counted as clipped (-32768, which it never writes, is not).
inline constexpr std::int16_t clip_level = 32767;

struct Column {
    std::int16_t lo = 0, hi = 0; // the lowest and highest sample
    bool clipped = false;        // a sample at +-clip_level
    bool any = false;            // the column holds a sample at all
    bool operator==(const Column &) const = default;
};

// The first sample of pixel column c when a second of rate samples spans
// per_second columns: the first s with s * per_second / rate >= c.
std::int64_t column_start(std::int64_t c, std::int32_t rate, std::int32_t per_second);

// The columns that samples at rate take: the column of the last sample, plus one.
std::int64_t columns_for(std::int64_t samples, std::int32_t rate, std::int32_t per_second);

class Reducer {
public:
    // samples: how many the output holds (those fed past it are ignored);
    // marks: sample positions, ascending, at which the clipped samples before
    // them are counted. rate and per_second are positive.
    Reducer(std::int64_t samples, std::int32_t rate, std::int32_t per_second,
            std::vector<std::int64_t> marks);

    // The next bytes of the data file: 16-bit little-endian samples, in order.
    // A sample split between two calls is put together.
    void feed(std::span<const unsigned char> bytes);

    const std::vector<Column> &columns() const { return columns_; }
    // The largest magnitude of any sample fed (32768 for -32768).
    int peak() const { return peak_; }
    // Clipped samples fed so far.
    std::int64_t clipped() const { return clipped_; }
    // Clipped samples before marks[k], for each k; marks past the samples fed
    // count all of them.
    std::vector<std::int64_t> clipped_before() const;

private:
    void sample(std::int16_t s);

    std::int64_t samples_;
    std::int32_t rate_, per_second_;
    std::vector<std::int64_t> marks_;
    std::vector<std::int64_t> counts_; // for the marks passed so far
    std::vector<Column> columns_;
    std::int64_t at_ = 0;          // the next sample's position
    std::int64_t column_ = 0;      // its column
    std::int64_t next_column_ = 0; // the first sample of the column after it
    int peak_ = 0;
    std::int64_t clipped_ = 0;
    bool half_ = false;            // a sample's first byte is waiting
    unsigned char low_ = 0;
};

} // namespace view
