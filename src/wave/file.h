// Every file operation the tools make goes through here, so that each one is
// checked in one way, can be made to fail by the tests' fault seam, and has
// its platform branches (the length of an open stream, cutting it, 64-bit
// positions, long paths on Windows) in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

// Lengths are signed 32-bit counts throughout the system, so a file of 2 GiB
// or more is one it cannot load.
inline constexpr std::int64_t max_file_bytes = INT32_MAX;

// A heap block and its size; a whole file read into memory, or a buffer.
struct Block {
    std::unique_ptr<unsigned char[]> data;
    std::size_t size = 0;

    std::span<unsigned char> bytes() { return {data.get(), size}; }
    std::span<const unsigned char> bytes() const { return {data.get(), size}; }
};

// Allocates n bytes, all zero; false when the heap has none to give.
bool alloc_block(Block *block, std::size_t n);

// An open stream, owned: closed when it goes, quietly. A stream written to is
// closed with close(), whose result tells whether everything reached the file.
class File {
public:
    File() = default;
    explicit File(std::FILE *f, bool owned = true) : f_(f), owned_(owned) {}
    File(File &&o) noexcept : f_(o.f_), owned_(o.owned_), error_(o.error_) { o.f_ = nullptr; }
    File &operator=(File &&o) noexcept;
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    ~File();

    // Standard input, borrowed: never closed here.
    static File standard_input() { return File(stdin, false); }

    explicit operator bool() const { return f_ != nullptr; }

    // Reads exactly n bytes; false on a short read.
    bool read(void *buf, std::size_t n);
    // Reads up to n bytes into *got; *got is 0 at the end. False on a read error.
    bool read_some(void *buf, std::size_t n, std::size_t *got);
    // Writes exactly n bytes; false on a short write.
    bool write(const void *buf, std::size_t n);
    // Writes n zero bytes.
    bool write_zeros(std::int64_t n);
    // Positions the stream pos bytes from the start (64-bit on every platform).
    bool seek(std::int64_t pos);
    // The stream's current length in bytes, after flushing what it buffers.
    bool length(std::int64_t *n);
    // Flushes the stream, then cuts (or extends) the file to n bytes.
    bool cut(std::int64_t n);
    bool flush();
    // Closes the stream; false when the close reports an error. The stream is
    // released either way.
    bool close();

    // The system's error number of the last operation that failed, 0 if none.
    int error() const { return error_; }

private:
    bool failed();

    std::FILE *f_ = nullptr;
    bool owned_ = true;
    int error_ = 0;
};

// An open, or why not: error is the system's error number (errno).
struct Opened {
    File file;
    int error = 0;

    bool missing() const;
};

// fopen with the given mode.
Opened open_file(const char *path, const char *mode);

// Removes a file. False when it could not be removed; *missing (if given) is
// then set when that is because it does not exist.
bool remove_file(const char *path, bool *missing = nullptr);

// A whole file read into memory, or what stood in the way.
enum class Got {
    read,       // block holds the file, every byte of it (possibly none)
    missing,    // no file of that name
    unopenable, // it is there but could not be opened
    too_large,  // it holds max_file_bytes or more
    no_memory,  // the heap had no block of its size
    failed,     // an operation on it failed: op names which
};

struct WholeFile {
    Got got = Got::failed;
    Block block;
    const char *op = nullptr; // for Got::failed and Got::unopenable: "open", "size", "seek", "read"
    int error = 0;            // the system's error number, where there is one
};

// Reads the file at path whole: one open, its length, one read.
WholeFile read_whole_file(const char *path);

// Fault injection, for tests. Every operation above except the quiet close of
// a File that goes (and write_zeros, which counts as the writes it makes) is
// counted per thread. After file_fail_at(n), the n-th operation from then on
// fails as the system would report it (n = 0: none fails); with and_after set,
// so does every operation after it, as when a disk goes away. A failed open
// reports EIO, a failed write writes the first half of its bytes, a failed
// close still releases the stream; the other operations fail without acting.
void file_fail_at(std::int64_t n, bool and_after = false);

// Operations counted on this thread since the last file_fail_at.
std::int64_t file_ops();
