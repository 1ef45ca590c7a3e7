#include "front/say.h"

#include <string>

std::string said(const Report &r)
{
    if (!r)
        return {};
    const char *format = text_of(r.code);
    // file_failed names the operation, then the file; the others the file alone.
    const char *operands[2] = {r.code == Code::file_failed ? r.op : r.file.c_str(), r.file.c_str()};
    std::string line;
    std::size_t next = 0;
    for (const char *p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == 's' && next < 2) {
            line += operands[next++];
            ++p;
        } else {
            line += *p;
        }
    }
    return line;
}

void say(std::FILE *out, const Report &r)
{
    if (!r)
        return;
    const std::string line = said(r);
    std::fwrite(line.data(), 1, line.size(), out);
}
