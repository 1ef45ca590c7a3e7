// One run: one note rendered and appended to an output.
#pragma once

#include <cstdint>
#include <cstdio>

// What a run found out about its note, for a caller that reports on many
// runs (segmix-batch's summary, segmix_run_ex). Fields the run did not get to
// stay as they are.
struct RunFacts {
    bool silent = false;          // the source was missing or could not be loaded: silence
    std::int32_t source_rate = 0; // the source's frames per second
    std::int32_t output_rate = 0; // the sample rate in the output's header
    std::int64_t clipped = 0;     // the note's samples clipped to the 16-bit range
};

// The spine of a run: argc and argv as a command line gives them (argv[0] is
// never read); the run's messages go to out, and what it found out to *facts
// (when given). Returns the exit status, 0 or -1. Only a failed allocation
// (of a file name) can throw, before any file changes.
int segmix_main(int argc, const char *const *argv, std::FILE *out, RunFacts *facts = nullptr);

// segmix_main with that one exception turned into -1: the guard that every
// entry (the command, the C API, segmix-batch) runs a note through.
int run_guarded(int argc, const char *const *argv, std::FILE *out, RunFacts *facts = nullptr) noexcept;

// Runs one note in the caller's process with the fifteen parameters in the
// order of the usage line, printing on standard output. A null or empty ovr
// leaves ovr, p4, p5 and v5 unread; a null or empty p4 leaves p4, p5 and v5
// unread (ovr is still read).
int run_note(const char *outfile, const char *infile, const char *offset, const char *length,
             const char *p1, const char *p2, const char *p3, const char *v1, const char *v2,
             const char *v3, const char *v4, const char *ovr, const char *p4, const char *p5,
             const char *v5) noexcept;

// The argument count that run_note passes for these ovr and p4.
int run_note_argc(const char *ovr, const char *p4);
