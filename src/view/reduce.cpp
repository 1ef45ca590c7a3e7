#include "view/reduce.h"

namespace view {

std::int64_t column_start(std::int64_t c, std::int32_t rate, std::int32_t per_second)
{
    return (c * rate + per_second - 1) / per_second;
}

std::int64_t columns_for(std::int64_t samples, std::int32_t rate, std::int32_t per_second)
{
    return samples <= 0 ? 0 : (samples - 1) * per_second / rate + 1;
}

Reducer::Reducer(std::int64_t samples, std::int32_t rate, std::int32_t per_second,
                 std::vector<std::int64_t> marks)
    : samples_(samples), rate_(rate), per_second_(per_second), marks_(std::move(marks))
{
    columns_.resize(static_cast<std::size_t>(columns_for(samples_, rate_, per_second_)));
    counts_.reserve(marks_.size());
    next_column_ = column_start(1, rate_, per_second_);
}

void Reducer::sample(std::int16_t s)
{
    if (at_ >= samples_)
        return;
    while (counts_.size() < marks_.size() && marks_[counts_.size()] <= at_)
        counts_.push_back(clipped_);
    while (at_ >= next_column_)
        next_column_ = column_start(++column_ + 1, rate_, per_second_);
    Column &c = columns_[static_cast<std::size_t>(column_)];
    if (!c.any || s < c.lo)
        c.lo = s;
    if (!c.any || s > c.hi)
        c.hi = s;
    c.any = true;
    const bool clip = s == clip_level || s == -clip_level;
    c.clipped = c.clipped || clip;
    clipped_ += clip;
    const int mag = s < 0 ? -int{s} : int{s};
    if (mag > peak_)
        peak_ = mag;
    ++at_;
}

void Reducer::feed(std::span<const unsigned char> bytes)
{
    std::size_t i = 0;
    if (half_ && !bytes.empty()) {
        sample(static_cast<std::int16_t>(low_ | (bytes[0] << 8)));
        half_ = false;
        i = 1;
    }
    for (; i + 1 < bytes.size(); i += 2)
        sample(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    if (i < bytes.size()) {
        half_ = true;
        low_ = bytes[i];
    }
}

std::vector<std::int64_t> Reducer::clipped_before() const
{
    std::vector<std::int64_t> c = counts_;
    c.resize(marks_.size(), clipped_);
    return c;
}

} // namespace view
