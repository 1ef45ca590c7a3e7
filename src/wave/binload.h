// Whole-file loading of a source or a header file: one read into one heap
// block, and what a file that cannot be loaded counts as.
#pragma once

#include "messages.h"
#include "wave/file.h"

enum class Load {
    ok,      // block holds the whole file
    missing, // there is no such file; nothing to say
    failed,  // it is empty or too large: it counts as missing, and report is
             // the notice to print
    error,   // it is there but cannot be loaded (not a regular file, no memory
             // for it, an operation failed): report says why, and the run
             // must not take it for missing
};

struct Loaded {
    Load load = Load::error;
    Block block;
    Report report;
};

// Loads the file at path whole. An empty file fails: an item of zero bytes
// counts as not read.
Loaded binload(const char *path);
