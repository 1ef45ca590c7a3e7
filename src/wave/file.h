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
#include <string>

#include "messages.h"

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

// What File::read_line found.
enum class LineRead {
    line,     // a line, ended by '\n'
    last,     // a last line without '\n'
    end,      // nothing more
    too_long, // a line of more than max bytes: its first max bytes, the rest skipped
    no_memory,// no memory for the line: the rest of it skipped
    error,    // a read failed
};

// The identity of a file: the same for every name of one file.
struct FileId {
    std::uint64_t volume = 0, index = 0;
    bool operator==(const FileId &) const = default;
};

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
    // Reads one line, up to and without its '\n', into *line; returns as soon
    // as the line is in, so that lines are taken as a pipe delivers them.
    LineRead read_line(std::string *line, std::size_t max);
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
    // The identity of the open file (see file_id).
    bool id(FileId *id);
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
    bool irregular = false; // it is there, but a FIFO, a device or a socket

    bool missing() const;
};

// Whether an error number says that there is no such file.
bool no_such_file(int error);

// What a failed open of path is to say: not_regular for a FIFO, a device or a
// socket, else the failed open and its reason.
Report open_failure(const Opened &o, const std::string &path);

// fopen with the given mode ("rb", "r+b", "wb", "w+b"), for sources and the
// files of an output: only a regular file is opened. A FIFO, a device or a
// socket is refused (irregular) before anything can block on it; a folder
// behaves as fopen makes it (it may open for reading and then fail to read).
Opened open_file(const char *path, const char *mode);

// Creates a file for writing ("wb") where nothing of that name exists, and
// never through a symbolic link.
Opened create_file(const char *path);

// Opens any stream that can be read ("rb") or written ("wb") in order, a
// pipe or a device as well as a file, as fopen does: for a batch of notes
// read from a pipe, or a join written to one.
Opened open_stream(const char *path, const char *mode = "rb");

// What is at a path, following symbolic links.
enum class PathKind { missing, regular, other };
// *kind of path: 0, or the system's error number.
int path_kind(const char *path, PathKind *kind);

// The path of the file a path leads to: symbolic links followed, so that a
// file put in its place replaces the file the link leads to and the link
// stays. The path itself where there is nothing to follow.
std::string final_path(const char *path);

// Removes a file: 0, or the system's error number.
int remove_file(const char *path);

// Renames from to to: 0, or the system's error number. With replace, an
// existing to is replaced in one step (the name always holds one of the two
// files); without it, an existing to is left alone and the rename fails.
int rename_file(const char *from, const char *to, bool replace);

// The identity of the file at path: 0, or the system's error number.
int file_id(const char *path, FileId *id);

struct Locked;

// An exclusive lock on a file, held until it goes (or its process dies). Two
// Locks on one file exclude each other whether they are in two processes or
// in two threads of one.
class Lock {
public:
    Lock() = default;
    Lock(Lock &&o) noexcept;
    Lock &operator=(Lock &&o) noexcept;
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;
    ~Lock();

    explicit operator bool() const;

private:
    friend Locked lock_file(const char *path);
    void release();
#ifdef _WIN32
    void *handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

enum class Locking {
    held,   // the lock is ours
    busy,   // another holder kept it past the wait
    failed, // the file could not be opened or created (error), or is not a regular file (irregular)
};

struct Locked {
    Lock lock;
    Locking state = Locking::failed;
    int error = 0;
    bool irregular = false;
};

// Opens, creating it when missing, the file at path and takes its lock,
// waiting for another holder to let go for up to the lock wait (30 s).
Locked lock_file(const char *path);

// The longest a lock_file on this thread waits; for tests.
void file_lock_wait(std::int64_t milliseconds);

// A whole file read into memory, or what stood in the way.
enum class Got {
    read,       // block holds the file, every byte of it (possibly none)
    missing,    // no file of that name
    unopenable, // it is there but could not be opened
    irregular,  // it is a FIFO, a device or a socket: not read
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
// a File that goes, the release of a Lock, and no_such_file (and write_zeros,
// which counts as the writes it makes) is counted per thread. After file_fail_at(n), the n-th operation from then on
// fails as the system would report it (n = 0: none fails); with and_after set,
// so does every operation after it, as when a disk goes away. A failed
// operation reports error (EIO unless given), a failed write writes the first
// half of its bytes, a failed close still releases the stream; the other
// operations fail without acting.
void file_fail_at(std::int64_t n, bool and_after = false, int error = 0);

// Operations counted on this thread since the last file_fail_at.
std::int64_t file_ops();
