#include "wave/header.h"

#include <cstring>

#include "bytes.h"

WaveHeader read_header(const unsigned char *p)
{
    WaveHeader h;
    h.riff_size = get_le32s(p + off::riff_size);
    h.fmt_size = get_le32s(p + off::fmt_size);
    h.format_tag = get_le16(p + off::format_tag);
    h.channels = get_le16(p + off::channels);
    h.sample_rate = get_le32s(p + off::sample_rate);
    h.avg_bytes_per_sec = get_le32s(p + off::avg_bytes_per_sec);
    h.block_align = get_le16(p + off::block_align);
    h.bits_per_sample = get_le16(p + off::bits_per_sample);
    h.data_size = get_le32s(p + off::data_size);
    return h;
}

FmtRecord format_at_rate(std::int32_t rate)
{
    FmtRecord fmt = default_format;
    const std::uint32_t align = get_le16(fmt.data() + (off::block_align - off::fmt_id));
    put_le32(fmt.data() + (off::sample_rate - off::fmt_id), static_cast<std::uint32_t>(rate));
    put_le32(fmt.data() + (off::avg_bytes_per_sec - off::fmt_id),
             static_cast<std::uint32_t>(rate) * align);
    return fmt;
}

unsigned char *fill_header(unsigned char *out, const FmtRecord &fmt, std::int32_t riff_size,
                           std::int32_t data_size)
{
    std::memcpy(out + off::riff_id, "RIFF", 4);
    put_le32(out + off::riff_size, static_cast<std::uint32_t>(riff_size));
    std::memcpy(out + off::wave_id, "WAVE", 4);
    std::memcpy(out + off::fmt_id, fmt.data(), fmt.size());
    std::memcpy(out + off::data_id, "data", 4);
    put_le32(out + off::data_size, static_cast<std::uint32_t>(data_size));
    return out + header_bytes;
}

static bool has_id(std::span<const unsigned char> bytes, std::size_t at, const char *id)
{
    return bytes.size() >= at + 4 && std::memcmp(bytes.data() + at, id, 4) == 0;
}

Code check_wave(std::span<const unsigned char> bytes)
{
    if (!has_id(bytes, off::riff_id, "RIFF"))
        return Code::not_riff;
    if (!has_id(bytes, off::wave_id, "WAVE"))
        return Code::not_wave;
    return Code::ok;
}
