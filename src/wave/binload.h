// Whole-file loading: one read into one heap block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Lengths are signed 32-bit counts throughout the system, so a file of 2 GiB
// or more is one it cannot load.
inline constexpr std::int64_t max_file_bytes = INT32_MAX;

// A loaded file: size bytes of the file followed by the extra bytes asked for.
// The loaded length travels with the block, so every read can be bounded by it.
struct Block {
    std::unique_ptr<unsigned char[]> data;
    std::size_t size = 0;     // bytes allocated: the file's length plus extra
    std::size_t loaded = 0;   // bytes of the file itself
};

// Allocates n bytes, all zero; false when the heap has none to give.
bool alloc_block(Block *block, std::size_t n);

enum class Load {
    ok,
    unopened, // the file could not be opened (it is missing, as a rule); nothing printed
    failed,   // it is empty, too large or too large for the heap; the reason has been printed
    error,    // a file operation on it failed; "<op> failed on <path>" has been printed
};

// Loads the file at path whole into *block, with extra bytes after it.
// An empty file fails: an item of zero bytes counts as not read. A file that
// cannot be sized, positioned or read is an error, not a missing file: callers
// must not take a passing read fault for an absent file.
Load binload(const char *path, std::int32_t extra, Block *block);
