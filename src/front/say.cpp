#include "front/say.h"

#include <string>
#include <system_error>

#include "front/text.h"

namespace {

// A name as a message prints it: a control character (a newline, a tab, an
// escape) would break the one line a message is, so it is written as \n, \t,
// \r or \xHH. Every other byte is the name's own.
void append_name(std::string *line, const std::string &name)
{
    static const char hex[] = "0123456789abcdef";
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7f) {
            *line += c;
        } else if (c == '\n') {
            *line += "\\n";
        } else if (c == '\t') {
            *line += "\\t";
        } else if (c == '\r') {
            *line += "\\r";
        } else {
            *line += "\\x";
            *line += hex[b >> 4];
            *line += hex[b & 15];
        }
    }
}

} // namespace

std::string reason_of(int error)
{
    return std::generic_category().message(error);
}

namespace {

// The line of a report, its name as shown on out, or as it is (UTF-8) when
// out is null.
std::string line_of(const Report &r, std::FILE *out)
{
    const std::string format = text_of(r.code);
    // file_failed names the operation, then the file; the others the file alone.
    const bool op_first = r.code == Code::file_failed;
    std::string line;
    int next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format.compare(i, 2, "%s") == 0 && next < 2) {
            if (op_first && next == 0)
                line += r.op;
            else
                append_name(&line, out ? shown_name(out, r.file) : r.file);
            ++next;
            ++i;
        } else if (format[i] == '\n' && r.error != 0 &&
                   (r.code == Code::file_failed || r.code == Code::output_folder)) {
            // The system's reason, for the messages of a failed operation.
            line += ": " + reason_of(r.error) + "\n";
        } else {
            line += format[i];
        }
    }
    return line;
}

} // namespace

std::string said(const Report &r, std::FILE *shown_on)
{
    return r ? line_of(r, shown_on) : std::string();
}

void say(std::FILE *out, const Report &r)
{
    if (!r)
        return;
    const std::string line = line_of(r, out);
    std::fwrite(line.data(), 1, line.size(), out);
}
