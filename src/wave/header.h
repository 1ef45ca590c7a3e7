// The canonical 44-byte RIFF/WAVE header, read and written as little-endian
// fields at fixed offsets, and the fmt record that every fresh header copies.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "messages.h"

inline constexpr std::size_t header_bytes = 44;
// riff_size of a header whose data chunk is empty: the bytes after the field.
inline constexpr std::int32_t empty_riff_size = static_cast<std::int32_t>(header_bytes) - 8;

// Offsets of the header's fields.
namespace off {
inline constexpr std::size_t riff_id = 0;
inline constexpr std::size_t riff_size = 4;
inline constexpr std::size_t wave_id = 8;
inline constexpr std::size_t fmt_id = 12;
inline constexpr std::size_t fmt_size = 16;
inline constexpr std::size_t format_tag = 20;
inline constexpr std::size_t channels = 22;
inline constexpr std::size_t sample_rate = 24;
inline constexpr std::size_t avg_bytes_per_sec = 28;
inline constexpr std::size_t block_align = 32;
inline constexpr std::size_t bits_per_sample = 34;
inline constexpr std::size_t data_id = 36;
inline constexpr std::size_t data_size = 40;
} // namespace off

struct WaveHeader {
    std::int32_t riff_size = 0;
    std::int32_t fmt_size = 0;
    std::uint16_t format_tag = 0;
    std::uint16_t channels = 0;
    std::int32_t sample_rate = 0;
    std::int32_t avg_bytes_per_sec = 0;
    std::uint16_t block_align = 0;
    std::uint16_t bits_per_sample = 0;
    std::int32_t data_size = 0;
};

// Fields of the first 44 bytes of a block; the four ids are not kept, since
// check_wave tests the two that matter and the others are carried over as bytes.
WaveHeader read_header(const unsigned char *p);

// The 24 bytes from fmt_id to bits_per_sample.
using FmtRecord = std::array<unsigned char, 24>;

// The fmt record of every fresh header as it is stored: PCM, mono, 16 bits,
// block align 2, rate fields 0 until a run sets them.
inline constexpr FmtRecord default_format = {
    0x66, 0x6d, 0x74, 0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x10, 0x00,
};

// default_format at a run's rate: sample_rate = rate, avg_bytes_per_sec = rate
// times the record's block_align. The caller has checked that the product fits.
FmtRecord format_at_rate(std::int32_t rate);

// Writes "RIFF", riff_size, "WAVE", the fmt record, "data", data_size into the
// 44 bytes at out, and returns the position just past them.
unsigned char *fill_header(unsigned char *out, const FmtRecord &fmt, std::int32_t riff_size,
                           std::int32_t data_size);

// Code::ok when the bytes begin "RIFF" .... "WAVE"; otherwise not_riff or
// not_wave. Bytes past the end count as not matching, so a short block is
// rejected, never overread.
Code check_wave(std::span<const unsigned char> bytes);
