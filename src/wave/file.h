// Every file operation the system makes goes through here, so that each one is
// checked in one way, and so that the two the C++ library lacks (the length of
// an open stream and cutting it) have their platform branches in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// fopen with the given mode; nullptr on failure (errno as fopen left it).
std::FILE *file_open(const char *path, const char *mode);

// True when fopen failed because the file does not exist.
bool file_missing_error();

// Reads exactly n bytes; false on a short read.
bool file_read(std::FILE *f, void *buf, std::size_t n);

// Writes exactly n bytes; false on a short write.
bool file_write(std::FILE *f, const void *buf, std::size_t n);

// Writes n zero bytes.
bool file_write_zeros(std::FILE *f, std::int64_t n);

// Positions the stream pos bytes from the start (64-bit on every platform).
bool file_seek(std::FILE *f, std::int64_t pos);

// The open stream's current length in bytes, after flushing what it buffers.
bool file_length(std::FILE *f, std::int64_t *length);

// Flushes the stream, then cuts (or extends) the file to length bytes.
bool file_cut(std::FILE *f, std::int64_t length);

bool file_flush(std::FILE *f);

// Closes the stream; false when the close reports an error.
bool file_close(std::FILE *f);

// Removes a file; false when it could not be removed.
bool file_remove(const char *path);

// Fault injection, for tests. Every operation above except file_missing_error
// (and file_write_zeros, which counts as the writes it makes) is counted per
// thread. After file_fail_at(n), the n-th operation from then on fails as the
// system would report it (n = 0: none fails); with and_after set, so does every
// operation after it, as when a disk goes away. A failed open sets errno to
// EIO, a failed write writes the first half of its bytes, a failed close still
// releases the stream; the other operations fail without acting.
void file_fail_at(std::int64_t n, bool and_after = false);

// Operations counted on this thread since the last file_fail_at.
std::int64_t file_ops();
