// Joining two files into a third: the header file and the data file of an
// output make one WAVE file.
#pragma once

#include <cstdint>

#include "messages.h"

enum class JoinFailure { none, create_output, open_first, open_second, read_first, read_second, write_output };

struct JoinResult {
    JoinFailure failure = JoinFailure::none;
    std::int64_t bytes = 0; // bytes copied
    Report report;          // the operation that failed and its file
};

// Copies first, then second, into output through one 64 KiB buffer.
JoinResult join_files(const char *first, const char *second, const char *output);

// The bytes copied (capped at INT32_MAX); -1 when the output cannot be created
// or a write to it fails; -2 when an input cannot be opened or read.
std::int32_t binjoin(const char *first, const char *second, const char *output);
