#include "wave/journal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bytes.h"
#include "messages.h"
#include "wave/binload.h"
#include "wave/file.h"

// Layout, every number a little-endian 32-bit field:
//   0 "SJNL"   4 the journal's length in bytes   8 flags (1: data file created,
//   2: header file existed)   12 data_length   16 write_at   20 data_end
//   24 header_length   28 the new header (44 bytes)   72 the old header file's
//   header_length bytes, then the data file's bytes from write_at to
//   data_length   then a checksum of everything before it.
namespace {

constexpr std::size_t fixed_bytes = 72;
constexpr std::size_t check_bytes = 4;
constexpr std::uint32_t flag_created = 1, flag_existed = 2;

// FNV-1a, carried across the pieces of the journal.
std::uint32_t checksum(std::uint32_t h, const unsigned char *p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 16777619u;
    return h;
}
constexpr std::uint32_t checksum_start = 2166136261u;

bool failed(const char *op, const std::string &name)
{
    std::printf(msg::file_failed, op, name.c_str());
    return false;
}

enum class Read { ok, missing, failed };

// Reads a whole file quietly: a missing one is no failure here.
Read read_all(const std::string &name, Block *block)
{
    *block = Block{};
    std::FILE *f = file_open(name.c_str(), "rb");
    if (!f) {
        if (file_missing_error())
            return Read::missing;
        failed("open", name);
        return Read::failed;
    }
    std::int64_t length = 0;
    const char *op = nullptr;
    if (!file_length(f, &length) || length > max_file_bytes)
        op = "size";
    else if (!file_seek(f, 0))
        op = "seek";
    else if (!alloc_block(block, static_cast<std::size_t>(length)))
        op = "read";
    else if (!file_read(f, block->data.get(), block->size))
        op = "read";
    file_close(f); // read-only: nothing a failed close could lose
    if (op) {
        failed(op, name);
        return Read::failed;
    }
    block->loaded = block->size;
    return Read::ok;
}

// The data file's length, or that it does not exist.
bool data_state(const std::string &name, bool *exists, std::int64_t *length)
{
    std::FILE *f = file_open(name.c_str(), "rb");
    *exists = f != nullptr;
    *length = 0;
    if (!f)
        return file_missing_error() || failed("open", name);
    const bool ok = file_length(f, length);
    file_close(f);
    return ok || failed("size", name);
}

bool decode(const Block &raw, Journal *j)
{
    const unsigned char *p = raw.data.get();
    const std::size_t n = raw.loaded;
    if (n < fixed_bytes + check_bytes || std::memcmp(p, "SJNL", 4) != 0 || get_le32(p + 4) != n ||
        get_le32(p + n - 4) != checksum(checksum_start, p, n - 4))
        return false;
    const std::uint32_t flags = get_le32(p + 8);
    j->data_created = (flags & flag_created) != 0;
    j->header_existed = (flags & flag_existed) != 0;
    j->data_length = get_le32s(p + 12);
    j->write_at = get_le32s(p + 16);
    j->data_end = get_le32s(p + 20);
    j->header_length = get_le32s(p + 24);
    std::memcpy(j->header_new, p + 28, header_bytes);
    if (flags > 3 || j->write_at < 0 || j->data_length < j->write_at || j->data_end < j->write_at ||
        j->header_length < 0 || (j->data_created && j->data_length != 0))
        return false;
    const std::size_t kept = static_cast<std::size_t>(j->header_length);
    const auto undo = static_cast<std::size_t>(j->data_length - j->write_at);
    if (n != fixed_bytes + kept + undo + check_bytes)
        return false;
    j->header_old = p + fixed_bytes;
    j->undo = p + fixed_bytes + kept;
    return true;
}

bool same_as_old(const Journal &j, bool exists, const Block &h)
{
    if (!exists)
        return !j.header_existed;
    return j.header_existed && h.loaded == static_cast<std::size_t>(j.header_length) &&
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
        header_ok = h.loaded <= header_bytes && std::memcmp(h.data.get(), j.header_new, h.loaded) == 0;
    } else {
        // Rewritten in place, and a longer one cut to 44 bytes.
        header_ok = h.loaded == old_length || (h.loaded >= header_bytes && h.loaded < old_length);
        for (std::size_t i = 0; header_ok && i < h.loaded; ++i)
            header_ok = h.data[i] == j.header_old[i] || (i < header_bytes && h.data[i] == j.header_new[i]);
    }
    const std::int64_t lo = std::min(j.data_length, j.data_end);
    const std::int64_t hi = std::max(j.data_length, j.data_end);
    const bool data_ok = j.data_created ? !data_exists || length <= hi
                                        : data_exists && length >= lo && length <= hi;
    return header_ok && data_ok;
}

bool drop(const std::string &jnl)
{
    return file_remove(jnl.c_str()) || failed("remove", jnl);
}

} // namespace

bool write_journal(const std::string &name, const Journal &j)
{
    const auto kept = static_cast<std::size_t>(j.header_length);
    const auto undo = static_cast<std::size_t>(j.data_length - j.write_at);
    unsigned char head[fixed_bytes];
    std::memcpy(head, "SJNL", 4);
    put_le32(head + 4, static_cast<std::uint32_t>(fixed_bytes + kept + undo + check_bytes));
    put_le32(head + 8, (j.data_created ? flag_created : 0) | (j.header_existed ? flag_existed : 0));
    put_le32(head + 12, static_cast<std::uint32_t>(j.data_length));
    put_le32(head + 16, static_cast<std::uint32_t>(j.write_at));
    put_le32(head + 20, static_cast<std::uint32_t>(j.data_end));
    put_le32(head + 24, static_cast<std::uint32_t>(j.header_length));
    std::memcpy(head + 28, j.header_new, header_bytes);
    std::uint32_t sum = checksum(checksum_start, head, fixed_bytes);
    sum = checksum(checksum(sum, j.header_old, kept), j.undo, undo);
    unsigned char check[check_bytes];
    put_le32(check, sum);

    std::FILE *f = file_open(name.c_str(), "wb");
    if (!f)
        return failed("open", name);
    const char *op = nullptr;
    if (!file_write(f, head, fixed_bytes) || !file_write(f, j.header_old, kept) ||
        !file_write(f, j.undo, undo) || !file_write(f, check, check_bytes))
        op = "write";
    if (!file_close(f) && !op)
        op = "close";
    if (!op)
        return true;
    file_remove(name.c_str()); // a journal written in part is ignored anyway
    return failed(op, name);
}

bool undo_header(const std::string &name, const Journal &j)
{
    if (!j.header_existed)
        return file_remove(name.c_str()) || file_missing_error();
    std::FILE *f = file_open(name.c_str(), "r+b");
    if (!f)
        return false;
    const bool ok = file_seek(f, 0) && file_write(f, j.header_old, static_cast<std::size_t>(j.header_length)) &&
                    file_cut(f, j.header_length);
    return file_close(f) && ok;
}

bool undo_data(const std::string &name, const Journal &j)
{
    if (j.data_created)
        return file_remove(name.c_str()) || file_missing_error();
    std::FILE *f = file_open(name.c_str(), "r+b");
    if (!f)
        return false;
    const bool ok = file_seek(f, j.write_at) &&
                    file_write(f, j.undo, static_cast<std::size_t>(j.data_length - j.write_at)) &&
                    file_cut(f, j.data_length);
    return file_close(f) && ok;
}

bool recover_output(const std::string &jnl, const std::string &header, const std::string &data)
{
    Block raw;
    const Read r = read_all(jnl, &raw);
    if (r != Read::ok)
        return r == Read::missing;
    // A file of that name that is not (the start of) a journal is someone
    // else's: left alone, and the output with it, since a commit would
    // overwrite it.
    const std::size_t magic = std::min<std::size_t>(raw.loaded, 4);
    if (std::memcmp(raw.data.get(), "SJNL", magic) != 0) {
        std::printf(msg::journal_foreign, jnl.c_str());
        return false;
    }
    Journal j;
    if (!decode(raw, &j))
        return drop(jnl); // written only in part: its run changed nothing
    Block h;
    const Read hr = read_all(header, &h);
    if (hr == Read::failed)
        return false;
    const bool header_exists = hr == Read::ok;
    bool data_exists = false;
    std::int64_t length = 0;
    if (!data_state(data, &data_exists, &length))
        return false;
    if (!fits(j, header_exists, h, data_exists, length)) {
        std::printf(msg::journal_stale, jnl.c_str());
        return drop(jnl);
    }
    if (!same_as_old(j, header_exists, h) && !undo_header(header, j))
        return failed("undo", header);
    if (!undo_data(data, j))
        return failed("undo", data);
    return drop(jnl);
}
