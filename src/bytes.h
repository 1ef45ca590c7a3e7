// Little-endian fields read and written byte by byte, so nothing depends on
// the host's byte order or on struct padding.
#pragma once

#include <cstdint>

inline std::uint16_t get_le16(const unsigned char *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::int16_t get_le16s(const unsigned char *p)
{
    return static_cast<std::int16_t>(get_le16(p));
}

inline std::uint32_t get_le32(const unsigned char *p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Size fields are signed 32-bit: 0xffffffff reads as -1.
inline std::int32_t get_le32s(const unsigned char *p)
{
    return static_cast<std::int32_t>(get_le32(p));
}

inline void put_le16(unsigned char *p, std::uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void put_le32(unsigned char *p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}
