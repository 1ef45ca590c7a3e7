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
#include <span>
#include <string>

#include "messages.h"
#include "wave/file.h"
#include "wave/header.h"

struct OutputNames {
    std::string outfile, header, data, journal, lock;
};

// <outfile>.whd, <outfile>.dat, <outfile>.jnl and <outfile>.lock.
OutputNames output_names(const char *outfile);

struct Output {
    OutputNames names;
    Lock lock;                   // one writer at a time, from before the journal is looked for
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
    File data;                   // the data file, open from its read-back to the commit
    std::int64_t data_length = 0; // its length when read back

    // No earlier output: nothing to mix into, no gap to leave.
    bool fresh() const { return !header_loaded; }
};

// Forms the names and takes the output's lock: <outfile>.lock, a file of its
// own beside the output that is never part of its state (it is made when
// missing and left in place). Waits for a run that holds it, up to the lock
// wait; refuses (output_busy) past it, and when the lock file cannot be made
// (output_folder: the output's folder is missing or cannot be written).
Report lock_output(const char *outfile, Output *out);

// Loads the header file, or starts a fresh header in fmt when there is none
// (the notice says why when the file exists but cannot be loaded). Refuses a
// header file that is not a usable WAVE header, and a failed file operation.
// The output is locked, and a journal left by an earlier run dealt with
// (recover_output), before this.
Said open_output(const FmtRecord &fmt, Output *out);

// Reads the overlapped tail of the data file (overlap_bytes > 0) into the head
// of buf, or counts the gap of silence before the note (overlap_bytes < 0);
// updates the running sizes. Changes no file; a data file read back stays open
// for store_note.
Report apply_overlap(Output *out, std::int32_t overlap_bytes, std::span<unsigned char> buf);

// Writes the gap and buf into the data file, then the new sizes into the header
// file. On any failure puts both files back as they were and reports the
// operation and the file.
Report store_note(Output *out, std::span<const unsigned char> buf);
