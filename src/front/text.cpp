#include "front/text.h"

#ifdef _WIN32
#include <io.h>
#include "win32.h"
#endif

bool is_utf8(const std::string &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        std::size_t more;
        unsigned lo = 0x80, hi = 0xbf; // the range of the byte after the first
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xc2 && c <= 0xdf) {
            more = 1;
        } else if (c >= 0xe0 && c <= 0xef) {
            more = 2;
            if (c == 0xe0)
                lo = 0xa0; // no overlong forms
            if (c == 0xed)
                hi = 0x9f; // no surrogates
        } else if (c >= 0xf0 && c <= 0xf4) {
            more = 3;
            if (c == 0xf0)
                lo = 0x90;
            if (c == 0xf4)
                hi = 0x8f; // nothing past U+10FFFF
        } else {
            return false;
        }
        if (i + more >= n) // the sequence runs past the end
            return false;
        if (p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (std::size_t k = 2; k <= more; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xbf)
                return false;
        i += more + 1;
    }
    return true;
}

#ifdef _WIN32
std::wstring wide_of(const std::string &text, unsigned code_page)
{
    const int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string narrow_of(const std::wstring &wide, unsigned code_page)
{
    const int n = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                            nullptr, nullptr);
    return text;
}

static bool is_console(std::FILE *f)
{
    DWORD mode = 0;
    const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

std::string shown_name(std::FILE *out, const std::string &name)
{
    const UINT code_page = is_console(out) ? GetConsoleOutputCP() : GetACP();
    return narrow_of(wide_of(name, CP_UTF8), code_page);
}

void line_to_utf8(std::string *line)
{
    if (!is_utf8(*line))
        *line = narrow_of(wide_of(*line, CP_ACP), CP_UTF8);
}
#else
std::string shown_name(std::FILE *, const std::string &name)
{
    return name;
}

void line_to_utf8(std::string *)
{
}
#endif
