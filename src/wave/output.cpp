#include "wave/output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "bytes.h"
#include "wave/binload.h"
#include "wave/journal.h"

static bool fits_int32(std::int64_t v)
{
    return v >= INT32_MIN && v <= INT32_MAX;
}

OutputNames output_names(const char *outfile)
{
    const std::string base = outfile;
    return {base, base + ".whd", base + ".dat", base + ".jnl", base + ".lock"};
}

// A file that the run makes beside the output (its lock, its journal) could
// not be made: where the error says that the folder is not there or takes no
// new file, the report names the output, whose folder a person must fix.
static Report making(const std::string &outfile, Report r)
{
    const int e = r.error;
    const bool folder = no_such_file(e) || e == ENOTDIR || e == EACCES || e == EPERM || e == EROFS;
    if (r.code == Code::file_failed && std::strcmp(r.op, "open") == 0 && folder)
        return {Code::output_folder, nullptr, outfile, e};
    return r;
}

Report lock_output(const char *outfile, Output *out)
{
    out->names = output_names(outfile);
    Locked l = lock_file(out->names.lock.c_str());
    switch (l.state) {
    case Locking::held:
        out->lock = std::move(l.lock);
        return {};
    case Locking::busy:
        return report(Code::output_busy, out->names.outfile);
    case Locking::failed:
        break;
    }
    if (l.irregular)
        return report(Code::not_regular, out->names.lock);
    return making(out->names.outfile, failure("open", out->names.lock, l.error));
}

Said open_output(const FmtRecord &fmt, Output *out)
{
    Said said;
    Loaded l = binload(out->names.header.c_str());
    if (l.load == Load::error) {
        said.refusal = std::move(l.report);
        return said;
    }
    out->header_existed = l.load != Load::missing;
    if (l.load != Load::ok) {
        // No earlier output: a fresh header.
        said.notice = std::move(l.report);
        fill_header(out->header, fmt, empty_riff_size, 0);
        out->riff_size = empty_riff_size;
        out->data_size = 0;
        return said;
    }
    out->loaded = std::move(l.block);
    const unsigned char *h = out->loaded.data.get();
    if (const Code wave = check_wave(out->loaded.bytes()); wave != Code::ok) {
        said.refusal = report(wave);
        return said;
    }
    if (out->loaded.size < header_bytes) {
        said.refusal = report(Code::header_short, out->names.header);
        return said;
    }
    std::memcpy(out->header, h, header_bytes);
    out->riff_size = get_le32s(h + off::riff_size);
    out->data_size = get_le32s(h + off::data_size);
    if (out->data_size < 0) {
        said.refusal = report(Code::header_negative, out->names.header);
        return said;
    }
    out->header_loaded = true;
    return said;
}

// Reads the data file's bytes from at to its end into out->undo.
static Report read_tail(File &f, Output *out, std::int64_t at, std::int64_t length)
{
    if (!alloc_block(&out->undo, static_cast<std::size_t>(length - at)))
        return report(Code::malloc_overlap);
    if (!f.seek(at))
        return failure("seek", out->names.data, f.error());
    if (!f.read(out->undo.data.get(), out->undo.size))
        return failure("read", out->names.data, f.error());
    return {};
}

static Report read_back(File &f, Output *out, std::int32_t overlap_bytes,
                        std::span<unsigned char> buf)
{
    std::int64_t length = 0;
    if (!f.length(&length))
        return failure("size", out->names.data, f.error());
    if (length > INT32_MAX)
        return report(Code::output_large, out->names.data);
    const std::int32_t d = out->data_size;
    // Both sizes shrink by what is taken back; a riff_size near -2^31 cannot.
    if (std::int64_t{out->riff_size} - std::min(overlap_bytes, d) < INT32_MIN)
        return report(Code::riff_range, out->names.header);
    if (overlap_bytes < d) {
        // The note's head falls on the last overlap_bytes bytes of the file.
        if (length < overlap_bytes)
            return report(Code::data_short, out->names.data);
        if (Report r = read_tail(f, out, length - overlap_bytes, length))
            return r;
        std::memcpy(buf.data(), out->undo.data.get(), static_cast<std::size_t>(overlap_bytes));
        out->write_at = length - overlap_bytes;
        out->riff_size -= overlap_bytes;
        out->data_size -= overlap_bytes;
    } else {
        // All of the earlier output lies inside the overlap, with silence before it.
        if (length < d)
            return report(Code::data_short, out->names.data);
        if (Report r = read_tail(f, out, 0, length))
            return r;
        std::memcpy(buf.data() + (overlap_bytes - d), out->undo.data.get(),
                    static_cast<std::size_t>(d));
        out->write_at = 0;
        out->riff_size -= d;
        out->data_size = 0;
    }
    out->data_length = length;
    return {};
}

Report apply_overlap(Output *out, std::int32_t overlap_bytes, std::span<unsigned char> buf)
{
    if (overlap_bytes == 0)
        return {};
    if (overlap_bytes < 0) {
        // A gap of silence before the note, written with it.
        out->gap_bytes = -std::int64_t{overlap_bytes};
        const std::int64_t riff = out->riff_size + out->gap_bytes;
        const std::int64_t data = out->data_size + out->gap_bytes;
        if (!fits_int32(riff) || !fits_int32(data))
            return report(Code::output_large, out->names.data);
        out->riff_size = static_cast<std::int32_t>(riff);
        out->data_size = static_cast<std::int32_t>(data);
        return {};
    }
    Opened o = open_file(out->names.data.c_str(), "r+b");
    if (!o.file) {
        // No data file to mix into: the note goes unmixed after the earlier output.
        if (o.missing())
            return {};
        return open_failure(o, out->names.data);
    }
    if (Report r = read_back(o.file, out, overlap_bytes, buf))
        return r;
    // Kept open: the commit writes through the same stream, at the length measured here.
    out->data = std::move(o.file);
    return {};
}

namespace {

// What the commit writes: the data file's stream and where the run's bytes
// go in it, and the header's new sizes.
struct Commit {
    File data;
    bool created = false;    // there was no data file: it is made by the commit
    std::int64_t length = 0; // the data file's length before the commit
    std::int64_t at = 0;     // where the gap and the note begin
    std::int64_t end = 0;    // the data file's length after them
    std::int64_t riff = 0, data_size = 0;
};

// The data file as the read-back left it open, or opened now to append to.
Report open_data(Output *out, Commit *c)
{
    if (out->data) {
        c->data = std::move(out->data);
        c->length = out->data_length;
        return {};
    }
    Opened o = open_file(out->names.data.c_str(), "r+b");
    c->created = !o.file;
    if (!o.file && !o.missing())
        return open_failure(o, out->names.data);
    c->data = std::move(o.file);
    c->length = 0;
    if (c->data && !c->data.length(&c->length))
        return failure("size", out->names.data, c->data.error());
    return {};
}

// Where the bytes go and the sizes they give, refused past 2 GiB.
Report place(const Output &out, std::size_t note_bytes, Commit *c)
{
    const auto note = static_cast<std::int64_t>(note_bytes);
    c->riff = std::int64_t{out.riff_size} + note;
    c->data_size = std::int64_t{out.data_size} + note;
    c->at = out.write_at >= 0 ? out.write_at : c->length;
    c->end = c->at + out.gap_bytes + note;
    if (!fits_int32(c->riff) || !fits_int32(c->data_size) || c->length > INT32_MAX ||
        c->end > INT32_MAX)
        return report(Code::output_large, out.names.data);
    return {};
}

Journal journal_of(const Output &out, const Commit &c)
{
    Journal j;
    j.data_created = c.created;
    j.header_existed = out.header_existed;
    j.data_length = static_cast<std::int32_t>(c.length);
    j.write_at = static_cast<std::int32_t>(c.at);
    j.data_end = static_cast<std::int32_t>(c.end);
    j.header_length = static_cast<std::int32_t>(out.loaded.size);
    std::memcpy(j.header_new, out.header, header_bytes);
    j.header_old = out.loaded.data.get();
    j.undo = out.undo.data.get();
    return j;
}

// Gives up a commit: puts back the header file (when the run wrote to it) and
// the data file from the journal, then removes the journal. When putting back
// fails the journal stays, and the next run on this output finishes the job.
void abandon(const Output &out, const Journal &j, bool header_touched)
{
    if (header_touched && !undo_header(out.names.header, j))
        return;
    if (undo_data(out.names.data, j))
        remove_file(out.names.journal.c_str());
}

// Closes a stream written in a phase of the commit: a failure of the phase's
// operations, or of the close, is what the phase reports.
Report close_phase(File &f, const char *op, const std::string &name)
{
    int error = f.error();
    const bool closed = f.close();
    if (!op && !closed) {
        op = "close";
        error = f.error();
    }
    return op ? failure(op, name, error) : Report{};
}

// The data file's part of the commit: the gap and the note at c.at, and a cut
// where the file was longer than what it now holds.
const char *write_data(File &f, const Output &out, const Commit &c,
                       std::span<const unsigned char> note)
{
    if (!f.seek(c.at))
        return "seek";
    if (!f.write_zeros(out.gap_bytes) || !f.write(note.data(), note.size()))
        return "write";
    if (c.length > c.end && !f.cut(c.end))
        return "cut";
    if (!f.flush())
        return "flush";
    return nullptr;
}

const char *write_header(File &f, const Output &out)
{
    if (!f.seek(0))
        return "seek";
    if (!f.write(out.header, header_bytes))
        return "write";
    // A longer header file keeps only its first 44 bytes, with the new sizes.
    if (out.loaded.size > header_bytes && !f.cut(header_bytes))
        return "cut";
    if (!f.flush())
        return "flush";
    return nullptr;
}

Report data_phase(const Output &out, const Journal &j, Commit *c,
                  std::span<const unsigned char> note)
{
    if (!c->data) {
        Opened o = open_file(out.names.data.c_str(), "w+b");
        if (!o.file) {
            abandon(out, j, false);
            return open_failure(o, out.names.data);
        }
        c->data = std::move(o.file);
    }
    const char *op = write_data(c->data, out, *c, note);
    Report r = close_phase(c->data, op, out.names.data);
    if (r)
        abandon(out, j, false);
    return r;
}

Report header_phase(const Output &out, const Journal &j)
{
    Opened o = open_file(out.names.header.c_str(), out.header_loaded ? "r+b" : "wb");
    if (!o.file) {
        abandon(out, j, false);
        return open_failure(o, out.names.header);
    }
    const char *op = write_header(o.file, out);
    Report r = close_phase(o.file, op, out.names.header);
    if (r)
        abandon(out, j, true);
    return r;
}

} // namespace

Report store_note(Output *out, std::span<const unsigned char> buf)
{
    Commit c;
    if (Report r = open_data(out, &c))
        return r;
    if (Report r = place(*out, buf.size(), &c))
        return r;
    put_le32(out->header + off::riff_size, static_cast<std::uint32_t>(c.riff));
    put_le32(out->header + off::data_size, static_cast<std::uint32_t>(c.data_size));
    const Journal j = journal_of(*out, c);
    if (Report r = write_journal(out->names.journal, j))
        return making(out->names.outfile, std::move(r));
    if (Report r = data_phase(*out, j, &c, buf))
        return r;
    if (Report r = header_phase(*out, j))
        return r;
    // Removing the journal commits the note.
    if (const int error = remove_file(out->names.journal.c_str()); error != 0) {
        Report r = failure("remove", out->names.journal, error);
        abandon(*out, j, true);
        return r;
    }
    out->riff_size = static_cast<std::int32_t>(c.riff);
    out->data_size = static_cast<std::int32_t>(c.data_size);
    return {};
}
