#include "wave/output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bytes.h"
#include "messages.h"
#include "wave/file.h"
#include "wave/journal.h"

static bool refuse(const char *message, const std::string &name)
{
    std::printf(message, name.c_str());
    return false;
}

static bool failed(const char *op, const std::string &name)
{
    std::printf(msg::file_failed, op, name.c_str());
    return false;
}

static bool fits_int32(std::int64_t v)
{
    return v >= INT32_MIN && v <= INT32_MAX;
}

bool open_output(const char *outfile, const FmtRecord &fmt, NotePlan *plan, Output *out)
{
    out->header_name = std::string(outfile) + ".whd";
    out->data_name = std::string(outfile) + ".dat";
    out->journal_name = std::string(outfile) + ".jnl";
    if (!recover_output(out->journal_name, out->header_name, out->data_name))
        return false;
    const Load load = binload(out->header_name.c_str(), 0, &out->loaded);
    if (load == Load::unopened && !file_missing_error())
        return failed("open", out->header_name);
    if (load == Load::error)
        return false;
    out->header_existed = load != Load::unopened;
    if (load != Load::ok) {
        // No earlier output: a fresh header, and nothing to mix into.
        fill_header(out->header, fmt, 36, 0);
        out->riff_size = 36;
        out->data_size = 0;
        plan->overlap_samples = 0;
        return true;
    }
    const unsigned char *h = out->loaded.data.get();
    if (!check_wave(h, out->loaded.loaded))
        return false;
    if (out->loaded.loaded < header_bytes)
        return refuse(msg::header_short, out->header_name);
    std::memcpy(out->header, h, header_bytes);
    out->riff_size = get_le32s(h + off::riff_size);
    out->data_size = get_le32s(h + off::data_size);
    if (out->data_size < 0)
        return refuse(msg::header_negative, out->header_name);
    out->header_loaded = true;
    return true;
}

// Reads the data file's bytes from at to its end into out->undo.
static bool read_tail(std::FILE *f, Output *out, std::int64_t at, std::int64_t length)
{
    if (!alloc_block(&out->undo, static_cast<std::size_t>(length - at))) {
        std::fputs(msg::malloc_overlap, stdout);
        return false;
    }
    if (!file_seek(f, at))
        return failed("seek", out->data_name);
    if (!file_read(f, out->undo.data.get(), out->undo.size))
        return failed("read", out->data_name);
    return true;
}

static bool read_back(std::FILE *f, Output *out, std::int32_t overlap_bytes, unsigned char *buf)
{
    std::int64_t length = 0;
    if (!file_length(f, &length))
        return failed("size", out->data_name);
    if (length > INT32_MAX)
        return refuse(msg::output_large, out->data_name);
    const std::int32_t d = out->data_size;
    // Both sizes shrink by what is taken back; a riff_size near -2^31 cannot.
    if (std::int64_t{out->riff_size} - std::min(overlap_bytes, d) < INT32_MIN)
        return refuse(msg::riff_range, out->header_name);
    if (overlap_bytes < d) {
        // The note's head falls on the last overlap_bytes bytes of the file.
        if (length < overlap_bytes)
            return refuse(msg::data_short, out->data_name);
        if (!read_tail(f, out, length - overlap_bytes, length))
            return false;
        std::memcpy(buf, out->undo.data.get(), static_cast<std::size_t>(overlap_bytes));
        out->write_at = length - overlap_bytes;
        out->riff_size -= overlap_bytes;
        out->data_size -= overlap_bytes;
    } else {
        // All of the earlier output lies inside the overlap, with silence before it.
        if (length < d)
            return refuse(msg::data_short, out->data_name);
        if (!read_tail(f, out, 0, length))
            return false;
        std::memcpy(buf + (overlap_bytes - d), out->undo.data.get(), static_cast<std::size_t>(d));
        out->write_at = 0;
        out->riff_size -= d;
        out->data_size = 0;
    }
    out->data_length = length;
    return true;
}

bool apply_overlap(Output *out, const NotePlan &plan, unsigned char *buf)
{
    if (!out->header_loaded || plan.overlap_bytes == 0)
        return true;
    if (plan.overlap_bytes < 0) {
        // A gap of silence before the note, written with it.
        out->gap_bytes = -std::int64_t{plan.overlap_bytes};
        const std::int64_t riff = out->riff_size + out->gap_bytes;
        const std::int64_t data = out->data_size + out->gap_bytes;
        if (!fits_int32(riff) || !fits_int32(data))
            return refuse(msg::output_large, out->data_name);
        out->riff_size = static_cast<std::int32_t>(riff);
        out->data_size = static_cast<std::int32_t>(data);
        return true;
    }
    FileHandle f(file_open(out->data_name.c_str(), "r+b"));
    if (!f) {
        // No data file to mix into: the note goes unmixed after the earlier output.
        if (file_missing_error())
            return true;
        return failed("open", out->data_name);
    }
    if (!read_back(f.get(), out, plan.overlap_bytes, buf))
        return false;
    // Kept open: the commit writes through the same stream, at the length measured here.
    out->data = std::move(f);
    return true;
}

// The data file's part of the commit: the gap and the note at position at, and
// a cut where the file was longer than what it now holds.
static const char *write_data(std::FILE *f, const Output &out, const NotePlan &plan,
                              const unsigned char *buf, std::int64_t at, std::int64_t length)
{
    const std::int64_t end = at + out.gap_bytes + plan.buffer_bytes;
    if (!file_seek(f, at))
        return "seek";
    if (!file_write_zeros(f, out.gap_bytes) ||
        !file_write(f, buf, static_cast<std::size_t>(plan.buffer_bytes)))
        return "write";
    if (length > end && !file_cut(f, end))
        return "cut";
    if (!file_flush(f))
        return "flush";
    return nullptr;
}

static const char *write_header(std::FILE *f, const Output &out)
{
    if (!file_seek(f, 0))
        return "seek";
    if (!file_write(f, out.header, header_bytes))
        return "write";
    // A longer header file keeps only its first 44 bytes, with the new sizes.
    if (out.loaded.loaded > header_bytes && !file_cut(f, header_bytes))
        return "cut";
    if (!file_flush(f))
        return "flush";
    return nullptr;
}

// Ends a phase: the stream is closed either way; a failure of the phase or of
// the close is reported through *op.
static bool close_phase(std::FILE *f, const char **op)
{
    const bool closed = file_close(f);
    if (!*op && !closed)
        *op = "close";
    return *op == nullptr;
}

// Gives up a commit: puts back the header file (when the run wrote to it) and
// the data file from the journal, then removes the journal. When putting back
// fails the journal stays, and the next run on this output finishes the job.
static void abandon(const Output &out, const Journal &j, bool header_touched)
{
    if (header_touched && !undo_header(out.header_name, j))
        return;
    if (undo_data(out.data_name, j))
        file_remove(out.journal_name.c_str());
}

bool store_note(Output *out, const NotePlan &plan, const unsigned char *buf)
{
    const std::int64_t riff = std::int64_t{out->riff_size} + plan.buffer_bytes;
    const std::int64_t data = std::int64_t{out->data_size} + plan.buffer_bytes;

    // The data file as the read-back left it open, or opened now to append to.
    std::FILE *f = out->data.release();
    std::int64_t length = out->data_length;
    bool created = false;
    if (!f) {
        f = file_open(out->data_name.c_str(), "r+b");
        created = !f;
        if (!f && !file_missing_error())
            return failed("open", out->data_name);
        length = 0;
        if (f && !file_length(f, &length)) {
            file_close(f);
            return failed("size", out->data_name);
        }
    }
    const std::int64_t at = out->write_at >= 0 ? out->write_at : length;
    const std::int64_t end = at + out->gap_bytes + plan.buffer_bytes;
    if (!fits_int32(riff) || !fits_int32(data) || length > INT32_MAX || end > INT32_MAX) {
        if (f)
            file_close(f);
        return refuse(msg::output_large, out->data_name);
    }
    put_le32(out->header + off::riff_size, static_cast<std::uint32_t>(riff));
    put_le32(out->header + off::data_size, static_cast<std::uint32_t>(data));

    Journal j;
    j.data_created = created;
    j.header_existed = out->header_existed;
    j.data_length = static_cast<std::int32_t>(length);
    j.write_at = static_cast<std::int32_t>(at);
    j.data_end = static_cast<std::int32_t>(end);
    j.header_length = static_cast<std::int32_t>(out->loaded.loaded);
    std::memcpy(j.header_new, out->header, header_bytes);
    j.header_old = out->loaded.data.get();
    j.undo = out->undo.data.get();
    if (!write_journal(out->journal_name, j)) {
        if (f)
            file_close(f);
        return false;
    }

    if (!f && !(f = file_open(out->data_name.c_str(), "w+b"))) {
        abandon(*out, j, false);
        return failed("open", out->data_name);
    }
    const char *op = write_data(f, *out, plan, buf, at, length);
    if (!close_phase(f, &op)) {
        abandon(*out, j, false);
        return failed(op, out->data_name);
    }

    f = file_open(out->header_name.c_str(), out->header_loaded ? "r+b" : "wb");
    if (!f) {
        abandon(*out, j, false);
        return failed("open", out->header_name);
    }
    op = write_header(f, *out);
    if (!close_phase(f, &op)) {
        abandon(*out, j, true);
        return failed(op, out->header_name);
    }
    // Removing the journal commits the note.
    if (!file_remove(out->journal_name.c_str())) {
        abandon(*out, j, true);
        return failed("remove", out->journal_name);
    }
    out->riff_size = static_cast<std::int32_t>(riff);
    out->data_size = static_cast<std::int32_t>(data);
    return true;
}
