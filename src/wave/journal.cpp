#include "wave/journal.h"

#include <algorithm>
#include <cstring>

#include "bytes.h"
#include "wave/file.h"

namespace {

constexpr std::size_t check_bytes = 4;
constexpr std::uint32_t flag_created = 1, flag_existed = 2;
constexpr char magic[] = "SJNL";

// FNV-1a, carried across the pieces of the journal.
constexpr std::uint32_t checksum_start = 2166136261u;
std::uint32_t checksum(std::uint32_t h, const unsigned char *p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 16777619u;
    return h;
}

// A file of the output read whole for the recovery: a missing one is no
// failure here.
enum class Read { ok, missing, failed };

Read read_all(const std::string &name, Block *block, Report *why)
{
    WholeFile w = read_whole_file(name.c_str());
    switch (w.got) {
    case Got::read:
        *block = std::move(w.block);
        return Read::ok;
    case Got::missing:
        return Read::missing;
    case Got::too_large:
        *why = failure("size", name);
        return Read::failed;
    case Got::no_memory:
        *why = failure("read", name);
        return Read::failed;
    case Got::irregular:
        *why = report(Code::not_regular, name);
        return Read::failed;
    case Got::unopenable:
    case Got::failed:
        break;
    }
    *why = failure(w.op, name, w.error);
    return Read::failed;
}

// The data file's length, or that it does not exist.
Report data_state(const std::string &name, bool *exists, std::int64_t *length)
{
    Opened o = open_file(name.c_str(), "rb");
    *exists = static_cast<bool>(o.file);
    *length = 0;
    if (!o.file)
        return o.missing() ? Report{} : open_failure(o, name);
    if (!o.file.length(length))
        return failure("size", name, o.file.error());
    return {};
}

bool decode(const Block &raw, Journal *j)
{
    const unsigned char *p = raw.data.get();
    const std::size_t n = raw.size;
    if (n < jnl_off::fixed_bytes + check_bytes || std::memcmp(p, magic, 4) != 0 ||
        get_le32(p + jnl_off::length) != n ||
        get_le32(p + n - check_bytes) != checksum(checksum_start, p, n - check_bytes))
        return false;
    const std::uint32_t flags = get_le32(p + jnl_off::flags);
    j->data_created = (flags & flag_created) != 0;
    j->header_existed = (flags & flag_existed) != 0;
    j->data_length = get_le32s(p + jnl_off::data_length);
    j->write_at = get_le32s(p + jnl_off::write_at);
    j->data_end = get_le32s(p + jnl_off::data_end);
    j->header_length = get_le32s(p + jnl_off::header_length);
    std::memcpy(j->header_new, p + jnl_off::header_new, header_bytes);
    if (flags > (flag_created | flag_existed) || j->write_at < 0 || j->data_length < j->write_at ||
        j->data_end < j->write_at || j->header_length < 0 || (j->data_created && j->data_length != 0))
        return false;
    const auto kept = static_cast<std::size_t>(j->header_length);
    const auto undo = static_cast<std::size_t>(j->data_length - j->write_at);
    if (n != jnl_off::fixed_bytes + kept + undo + check_bytes)
        return false;
    j->header_old = p + jnl_off::fixed_bytes;
    j->undo = p + jnl_off::fixed_bytes + kept;
    return true;
}

bool same_as_old(const Journal &j, bool exists, const Block &h)
{
    if (!exists)
        return !j.header_existed;
    return j.header_existed && h.size == static_cast<std::size_t>(j.header_length) &&
           std::memcmp(h.data.get(), j.header_old, static_cast<std::size_t>(j.header_length)) == 0;
}

// Whether the files are in a state that the journal's run, or an undo of it,
// can have left: each of the header's first 44 bytes old or new and the rest
// as it was, and the data file's length between its length before and after
// the run.
bool fits(const Journal &j, bool header_exists, const Block &h, bool data_exists,
          std::int64_t length)
{
    const auto old_length = static_cast<std::size_t>(j.header_length);
    bool header_ok;
    if (!header_exists) {
        header_ok = !j.header_existed;
    } else if (old_length == 0) {
        // Made anew: what is there is the start of the new header.
        header_ok = h.size <= header_bytes && std::memcmp(h.data.get(), j.header_new, h.size) == 0;
    } else {
        // Rewritten in place, and a longer one cut to 44 bytes.
        header_ok = h.size == old_length || (h.size >= header_bytes && h.size < old_length);
        for (std::size_t i = 0; header_ok && i < h.size; ++i)
            header_ok = h.data[i] == j.header_old[i] || (i < header_bytes && h.data[i] == j.header_new[i]);
    }
    const std::int64_t lo = std::min(j.data_length, j.data_end);
    const std::int64_t hi = std::max(j.data_length, j.data_end);
    const bool data_ok = j.data_created ? !data_exists || length <= hi
                                        : data_exists && length >= lo && length <= hi;
    return header_ok && data_ok;
}

Report drop(const std::string &jnl)
{
    const int error = remove_file(jnl.c_str());
    return error == 0 ? Report{} : failure("remove", jnl, error);
}

} // namespace

std::string journal_scratch(const std::string &name)
{
    return name + ".tmp";
}

Report write_journal(const std::string &name, const Journal &j)
{
    const auto kept = static_cast<std::size_t>(j.header_length);
    const auto undo = static_cast<std::size_t>(j.data_length - j.write_at);
    const std::uint64_t total = jnl_off::fixed_bytes + std::uint64_t{kept} + undo + check_bytes;
    // What the journal holds must be readable whole by the run that undoes it.
    if (total > static_cast<std::uint64_t>(max_file_bytes))
        return report(Code::journal_large, name);
    unsigned char head[jnl_off::fixed_bytes];
    std::memcpy(head + jnl_off::magic, magic, 4);
    put_le32(head + jnl_off::length, static_cast<std::uint32_t>(total));
    put_le32(head + jnl_off::flags,
             (j.data_created ? flag_created : 0) | (j.header_existed ? flag_existed : 0));
    put_le32(head + jnl_off::data_length, static_cast<std::uint32_t>(j.data_length));
    put_le32(head + jnl_off::write_at, static_cast<std::uint32_t>(j.write_at));
    put_le32(head + jnl_off::data_end, static_cast<std::uint32_t>(j.data_end));
    put_le32(head + jnl_off::header_length, static_cast<std::uint32_t>(j.header_length));
    std::memcpy(head + jnl_off::header_new, j.header_new, header_bytes);
    std::uint32_t sum = checksum(checksum_start, head, jnl_off::fixed_bytes);
    sum = checksum(checksum(sum, j.header_old, kept), j.undo, undo);
    unsigned char check[check_bytes];
    put_le32(check, sum);

    // Written whole under the scratch name, then given the journal's name: a
    // file of that name is always a whole journal of this tool's, or not ours.
    const std::string scratch = journal_scratch(name);
    if (const int error = remove_file(scratch.c_str()); error != 0 && !no_such_file(error))
        return failure("remove", scratch, error);
    Opened o = create_file(scratch.c_str());
    if (!o.file)
        return failure("open", scratch, o.error);
    File &f = o.file;
    const char *op = nullptr;
    int error = 0;
    if (!f.write(head, jnl_off::fixed_bytes) || !f.write(j.header_old, kept) ||
        !f.write(j.undo, undo) || !f.write(check, check_bytes)) {
        op = "write";
        error = f.error();
    }
    if (!f.close() && !op) {
        op = "close";
        error = f.error();
    }
    if (!op && (error = rename_file(scratch.c_str(), name.c_str(), false)) == 0)
        return {};
    remove_file(scratch.c_str());
    return op ? failure(op, scratch, error) : failure("rename", name, error);
}

void seal_journal(std::span<unsigned char> bytes)
{
    const std::size_t n = bytes.size();
    if (n < jnl_off::fixed_bytes + check_bytes)
        return;
    put_le32(bytes.data() + jnl_off::length, static_cast<std::uint32_t>(n));
    put_le32(bytes.data() + n - check_bytes, checksum(checksum_start, bytes.data(), n - check_bytes));
}

// Puts one file back as the journal has it: removes it if the run made it,
// else writes n bytes back at at and cuts it to length.
static bool put_back(const std::string &name, bool made, std::int64_t at,
                     const unsigned char *bytes, std::size_t n, std::int64_t length)
{
    if (made) {
        const int error = remove_file(name.c_str());
        return error == 0 || no_such_file(error);
    }
    Opened o = open_file(name.c_str(), "r+b");
    if (!o.file)
        return false;
    File &f = o.file;
    const bool ok = f.seek(at) && f.write(bytes, n) && f.cut(length);
    return f.close() && ok;
}

bool undo_header(const std::string &name, const Journal &j)
{
    return put_back(name, !j.header_existed, 0, j.header_old,
                    static_cast<std::size_t>(j.header_length), j.header_length);
}

bool undo_data(const std::string &name, const Journal &j)
{
    return put_back(name, j.data_created, j.write_at, j.undo,
                    static_cast<std::size_t>(j.data_length - j.write_at), j.data_length);
}

Said recover_output(const std::string &jnl, const std::string &header, const std::string &data)
{
    Said said;
    Block raw;
    const Read r = read_all(jnl, &raw, &said.refusal);
    if (r != Read::ok)
        return said;
    // A journal gets its name only once it is whole, so a file of that name
    // that is not a whole journal (its checksum right) is someone else's:
    // left alone, and the output with it, since a commit would need the name.
    Journal j;
    if (!decode(raw, &j)) {
        said.refusal = report(Code::journal_foreign, jnl);
        return said;
    }
    Block h;
    const Read hr = read_all(header, &h, &said.refusal);
    if (hr == Read::failed)
        return said;
    const bool header_exists = hr == Read::ok;
    bool data_exists = false;
    std::int64_t length = 0;
    if ((said.refusal = data_state(data, &data_exists, &length)))
        return said;
    if (!fits(j, header_exists, h, data_exists, length)) {
        said.notice = report(Code::journal_stale, jnl);
        said.refusal = drop(jnl);
        return said;
    }
    if (!same_as_old(j, header_exists, h) && !undo_header(header, j)) {
        said.refusal = failure("undo", header);
        return said;
    }
    if (!undo_data(data, j)) {
        said.refusal = failure("undo", data);
        return said;
    }
    said.refusal = drop(jnl);
    return said;
}
