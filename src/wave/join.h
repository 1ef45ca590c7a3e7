// Joining two files into a third: the header file and the data file of an
// output make one WAVE file.
#pragma once

#include <cstdint>

#include "messages.h"

enum class JoinFailure {
    none,
    create_output, // the output (its scratch file) cannot be created
    open_first,
    open_second,
    read_first,
    read_second,
    write_output,  // a write, the close or the rename of the output failed
    same_file,     // the output is one of the inputs
};

struct JoinResult {
    JoinFailure failure = JoinFailure::none;
    std::int64_t bytes = 0; // bytes copied
    Report report;          // what failed, and its file
};

// Copies first, then second, into output through one 64 KiB buffer. Both
// inputs are opened, and the output checked to be neither of them, before
// anything is written; the copy goes to a scratch file beside the output
// (output + ".tmp") that takes the output's name only once it is whole, so
// that the name holds the old file or the whole new one, however the join
// ends. A failed join removes its scratch file.
JoinResult join_files(const char *first, const char *second, const char *output);

// The bytes copied (capped at INT32_MAX); -1 when the output cannot be
// created or written (or is one of the inputs); -2 when an input cannot be
// opened or read. The output is changed only on success.
std::int32_t binjoin(const char *first, const char *second, const char *output);
