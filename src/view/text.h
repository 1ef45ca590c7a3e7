// The text of a picture: numbers written in a fixed form whatever the locale,
// text made safe for XML, and names shortened to a width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace view {

// value / 10^decimals with exactly decimals digits after the point: (12345, 2)
// gives "123.45", (-5, 1) "-0.5", (7, 0) "7". decimals from 0 to 18.
std::string decimal(std::int64_t value, int decimals);

// v rounded half away from zero to decimals digits (0 to 6) and written as
// decimal() does. A value beyond +-2^53 at that scale is written at that bound,
// and a NaN as 0, so that no conversion leaves the integer range.
std::string fixed(double v, int decimals);

// fixed() without the trailing zeros of its fraction (and without the point
// when nothing is left after it): 0.5 at 3 decimals gives "0.5", 2 gives "2".
std::string trimmed(double v, int decimals);

// The peak level of a 16-bit output in dB relative to 32767, the largest
// sample the renderer writes, with one decimal: "-6.0 dBFS"; "-inf dBFS" for
// silence.
std::string peak_dbfs(int peak);

// text as XML character data or attribute value: & < > " ' written as
// entities; bytes that are not well-formed UTF-8, the characters XML does not
// allow (all below U+0020 but tab, line feed and carriage return; U+FFFE and
// U+FFFF) and DEL replaced by U+FFFD, so that any line of a notes file makes a
// well-formed document.
std::string xml_text(std::string_view text);

// Characters (code points) of well-formed UTF-8 text; an ill-formed byte counts
// as one character, as xml_text makes it one.
std::size_t characters(std::string_view text);

// text cut to at most max characters: when it is longer, its first max - 1
// characters and "…". Never cuts inside a character. max 0 gives "".
std::string shorten(std::string_view text, std::size_t max);

// The last part of a path: what follows its last '/' or '\'.
std::string_view file_name(std::string_view path);

} // namespace view
