#include "view/text.h"

#include <charconv>
#include <cmath>

namespace view {

namespace {

constexpr std::int64_t powers[] = {1,
                                   10,
                                   100,
                                   1000,
                                   10000,
                                   100000,
                                   1000000,
                                   10000000,
                                   100000000,
                                   1000000000,
                                   10000000000,
                                   100000000000,
                                   1000000000000,
                                   10000000000000,
                                   100000000000000,
                                   1000000000000000,
                                   10000000000000000,
                                   100000000000000000,
                                   1000000000000000000};

std::string digits(std::uint64_t v)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The length of the well-formed UTF-8 character at the start of s, or 0 when
// s does not start with one (overlong forms, surrogates and values past
// U+10FFFF are not well formed).
std::size_t utf8_length(std::string_view s)
{
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto cont = [&](std::size_t i) { return i < s.size() && (b(i) & 0xc0) == 0x80; };
    const unsigned char c = b(0);
    if (c < 0x80)
        return 1;
    if (c >= 0xc2 && c <= 0xdf)
        return cont(1) ? 2 : 0;
    if (c >= 0xe0 && c <= 0xef) {
        if (!cont(1) || !cont(2))
            return 0;
        if ((c == 0xe0 && b(1) < 0xa0) || (c == 0xed && b(1) > 0x9f))
            return 0;
        return 3;
    }
    if (c >= 0xf0 && c <= 0xf4) {
        if (!cont(1) || !cont(2) || !cont(3))
            return 0;
        if ((c == 0xf0 && b(1) < 0x90) || (c == 0xf4 && b(1) > 0x8f))
            return 0;
        return 4;
    }
    return 0;
}

// The length of the character at the start of s as the picture counts it: an
// ill-formed byte is one character of its own.
std::size_t step(std::string_view s)
{
    const std::size_t n = utf8_length(s);
    return n == 0 ? 1 : n;
}

constexpr char replacement[] = "\xef\xbf\xbd";
constexpr char ellipsis[] = "\xe2\x80\xa6";

} // namespace

std::string decimal(std::int64_t value, int decimals)
{
    if (decimals < 0)
        decimals = 0;
    if (decimals > 18)
        decimals = 18;
    // The magnitude as unsigned, so that INT64_MIN has one too.
    const std::uint64_t mag = value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                        : static_cast<std::uint64_t>(value);
    const auto scale = static_cast<std::uint64_t>(powers[decimals]);
    std::string s = value < 0 ? "-" : "";
    s += digits(mag / scale);
    if (decimals > 0) {
        std::string frac = digits(mag % scale);
        s += '.';
        s.append(static_cast<std::size_t>(decimals) - frac.size(), '0');
        s += frac;
    }
    return s;
}

std::string fixed(double v, int decimals)
{
    if (decimals < 0)
        decimals = 0;
    if (decimals > 6)
        decimals = 6;
    // Doubles hold every integer up to 2^53 exactly; beyond it the value is
    // written at that bound.
    constexpr double bound = 9007199254740992.0;
    double scaled = v * static_cast<double>(powers[decimals]);
    if (std::isnan(scaled))
        scaled = 0;
    scaled = std::round(scaled);
    if (scaled > bound)
        scaled = bound;
    if (scaled < -bound)
        scaled = -bound;
    std::string s = decimal(static_cast<std::int64_t>(scaled), decimals);
    if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("0.", 1) == std::string::npos)
        s.erase(0, 1); // -0.0 is written 0.0
    return s;
}

std::string trimmed(double v, int decimals)
{
    std::string s = fixed(v, decimals);
    if (s.find('.') == std::string::npos)
        return s;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    return s;
}

std::string peak_dbfs(int peak)
{
    if (peak <= 0)
        return "-inf dBFS";
    return fixed(20 * std::log10(peak / 32767.0), 1) + " dBFS";
}

std::string xml_text(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8_length(text.substr(i));
        if (n == 0) {
            out += replacement;
            ++i;
            continue;
        }
        if (n == 3 && text.substr(i, 2) == "\xef\xbf" &&
            static_cast<unsigned char>(text[i + 2]) >= 0xbe) {
            out += replacement; // U+FFFE, U+FFFF
            i += n;
            continue;
        }
        if (n > 1) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        const char c = text[i++];
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        case '\t':
        case '\n':
        case '\r': out += c; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                out += replacement;
            else
                out += c;
        }
    }
    return out;
}

std::size_t characters(std::string_view text)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); i += step(text.substr(i)))
        ++count;
    return count;
}

std::string shorten(std::string_view text, std::size_t max)
{
    if (characters(text) <= max)
        return std::string(text);
    if (max == 0)
        return {};
    std::size_t i = 0;
    for (std::size_t kept = 0; kept + 1 < max; ++kept)
        i += step(text.substr(i));
    return std::string(text.substr(0, i)) + ellipsis;
}

std::string_view file_name(std::string_view path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace view
