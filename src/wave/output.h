// The output of a phrase: the header file (<outfile>.whd, one 44-byte WAVE
// header for everything so far) and the data file (<outfile>.dat, the samples).
//
// A run either commits its whole note or leaves both files as they were. The
// data file is changed first and only at its end (the overlapped tail is
// overwritten in place, the note and any gap written after it), the header file
// last, overwritten in place so that it is never left empty. Before either, the
// run writes a journal (<outfile>.jnl, see journal.h) with what it overwrites.
// When any file operation fails, what the run changed is put back from it; a
// run that was killed, or whose putting back failed, is undone by the next run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "render/plan.h"
#include "wave/binload.h"
#include "wave/file.h"
#include "wave/header.h"

// A stream that a run holds across steps; one still open when the run ends
// early was only read through, so its close needs no check.
struct FileCloser {
    void operator()(std::FILE *f) const { file_close(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

struct Output {
    std::string header_name, data_name, journal_name;
    unsigned char header[header_bytes] = {};
    Block loaded;                // the header file as it was, to put back on failure
    bool header_loaded = false;  // false: a fresh header, no earlier output
    bool header_existed = false; // the header file existed, loadable or not
    std::int32_t riff_size = 0;  // running sizes
    std::int32_t data_size = 0;
    // Where the note goes in the data file, as apply_overlap decided.
    std::int64_t write_at = -1;  // byte position, or -1 for the file's end
    std::int64_t gap_bytes = 0;  // silence written before the note
    Block undo;                  // the data file's bytes from write_at to its end
    FileHandle data;             // the data file, open from its read-back to the commit
    std::int64_t data_length = 0; // its length when read back
};

// Forms the names, deals with a journal that an earlier run left (see
// recover_output), and loads the header file, or starts a fresh header (and
// then sets the plan's overlap_samples to 0). Prints why and returns false for
// a header file that is not a usable WAVE header, and when a file operation
// fails.
bool open_output(const char *outfile, const FmtRecord &fmt, NotePlan *plan, Output *out);

// Reads the overlapped tail of the data file into the head of buf, or counts
// the gap of silence before the note; updates the running sizes. Changes no
// file; a data file read back stays open for store_note.
bool apply_overlap(Output *out, const NotePlan &plan, unsigned char *buf);

// Writes the gap and buf into the data file, then the new sizes into the header
// file. On any failure prints one line naming the operation and the file, puts
// both files back as they were, and returns false.
bool store_note(Output *out, const NotePlan &plan, const unsigned char *buf);
