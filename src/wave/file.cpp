#include "wave/file.h"

#include <cerrno>
#include <cstring>
#include <new>

#ifdef _WIN32
#include <io.h>
#include <string>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {

// The fault-injection countdown: thread-local, so that runs on other threads
// neither see nor disturb it; a run without faults pays one increment per call.
thread_local std::int64_t op_count = 0;
thread_local std::int64_t fail_at = 0;
thread_local bool fail_after = false;

bool injected_failure()
{
    ++op_count;
    if (fail_at == 0 || op_count < fail_at || (op_count > fail_at && !fail_after))
        return false;
    errno = EIO;
    return true;
}

#ifdef _WIN32
// A path that nears MAX_PATH (260) characters reaches the file system only as
// the wide \\?\ form of its full path; a shorter one, or one that cannot be
// converted, is used as it is (empty result).
std::wstring long_path(const char *path)
{
    if (std::strlen(path) < MAX_PATH - 12)
        return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), n) != n)
        return {};
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return {};
    std::wstring full(size, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (got == 0 || got >= size)
        return {};
    full.resize(got);
    if (full.rfind(L"\\\\?\\", 0) == 0)
        return full;
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}
#endif

} // namespace

void file_fail_at(std::int64_t n, bool and_after)
{
    op_count = 0;
    fail_at = n;
    fail_after = and_after;
}

std::int64_t file_ops()
{
    return op_count;
}

bool alloc_block(Block *block, std::size_t n)
{
    block->data.reset(new (std::nothrow) unsigned char[n == 0 ? 1 : n]());
    block->size = block->data ? n : 0;
    return block->data != nullptr;
}

File &File::operator=(File &&o) noexcept
{
    if (this != &o) {
        if (f_ && owned_)
            std::fclose(f_);
        f_ = o.f_;
        owned_ = o.owned_;
        o.f_ = nullptr;
    }
    return *this;
}

File::~File()
{
    if (f_ && owned_)
        std::fclose(f_);
}

// Records why the operation failed: the system's errno, or EIO where the
// C library reports a failure without one (a short read at an unexpected end).
bool File::failed()
{
    error_ = errno != 0 ? errno : EIO;
    return false;
}

bool File::read(void *buf, std::size_t n)
{
    errno = 0;
    if (injected_failure())
        return failed();
    return n == 0 || std::fread(buf, 1, n, f_) == n || failed();
}

bool File::read_some(void *buf, std::size_t n, std::size_t *got)
{
    *got = 0;
    errno = 0;
    if (injected_failure())
        return failed();
    *got = std::fread(buf, 1, n, f_);
    return *got > 0 || std::ferror(f_) == 0 || failed();
}

bool File::write(const void *buf, std::size_t n)
{
    errno = 0;
    if (injected_failure()) {
        // A short write: the first half lands.
        if (n > 1)
            std::fwrite(buf, 1, n / 2, f_);
        return failed();
    }
    return n == 0 || std::fwrite(buf, 1, n, f_) == n || failed();
}

bool File::write_zeros(std::int64_t n)
{
    static const unsigned char zeros[4096] = {};
    while (n > 0) {
        const std::size_t step = n < 4096 ? static_cast<std::size_t>(n) : sizeof zeros;
        if (!write(zeros, step))
            return false;
        n -= static_cast<std::int64_t>(step);
    }
    return true;
}

bool File::seek(std::int64_t pos)
{
    errno = 0;
    if (injected_failure())
        return failed();
#ifdef _WIN32
    return _fseeki64(f_, pos, SEEK_SET) == 0 || failed();
#else
    return fseeko(f_, static_cast<off_t>(pos), SEEK_SET) == 0 || failed();
#endif
}

bool File::flush()
{
    errno = 0;
    if (injected_failure())
        return failed();
    return std::fflush(f_) == 0 || failed();
}

bool File::length(std::int64_t *n)
{
    errno = 0;
    if (injected_failure() || std::fflush(f_) != 0)
        return failed();
#ifdef _WIN32
    const __int64 len = _filelengthi64(_fileno(f_));
    if (len < 0)
        return failed();
    *n = len;
#else
    struct stat st;
    if (fstat(fileno(f_), &st) != 0)
        return failed();
    *n = static_cast<std::int64_t>(st.st_size);
#endif
    return true;
}

bool File::cut(std::int64_t n)
{
    errno = 0;
    if (injected_failure())
        return failed();
    if (n < 0) {
        errno = EINVAL;
        return failed();
    }
    if (std::fflush(f_) != 0)
        return failed();
#ifdef _WIN32
    return _chsize_s(_fileno(f_), n) == 0 || failed();
#else
    return ftruncate(fileno(f_), static_cast<off_t>(n)) == 0 || failed();
#endif
}

bool File::close()
{
    errno = 0;
    const bool fail = injected_failure();
    const int injected = errno;
    std::FILE *f = f_;
    f_ = nullptr;
    if (owned_ && std::fclose(f) != 0)
        return failed();
    if (fail) {
        errno = injected;
        return failed();
    }
    return true;
}

bool Opened::missing() const
{
    return !file && error == ENOENT;
}

Opened open_file(const char *path, const char *mode)
{
    Opened o;
    if (injected_failure()) {
        o.error = EIO;
        return o;
    }
    errno = 0;
    std::FILE *f = nullptr;
#ifdef _WIN32
    const std::wstring wide = long_path(path);
    if (!wide.empty()) {
        const std::wstring wmode(mode, mode + std::strlen(mode));
        f = _wfopen(wide.c_str(), wmode.c_str());
    } else {
        f = std::fopen(path, mode);
    }
#else
    f = std::fopen(path, mode);
#endif
    o.error = f ? 0 : errno;
    o.file = File(f);
    return o;
}

bool remove_file(const char *path, bool *missing)
{
    if (missing)
        *missing = false;
    if (injected_failure())
        return false;
    errno = 0;
    int r;
#ifdef _WIN32
    const std::wstring wide = long_path(path);
    r = wide.empty() ? std::remove(path) : _wremove(wide.c_str());
#else
    r = std::remove(path);
#endif
    if (r == 0)
        return true;
    if (missing)
        *missing = errno == ENOENT;
    return false;
}

WholeFile read_whole_file(const char *path)
{
    WholeFile w;
    Opened o = open_file(path, "rb");
    if (!o.file) {
        w.got = o.missing() ? Got::missing : Got::unopenable;
        w.op = "open";
        w.error = o.error;
        return w;
    }
    File &f = o.file;
    std::int64_t length = 0;
    if (!f.length(&length)) {
        w.op = "size";
        w.error = f.error();
        return w;
    }
    if (!f.seek(0)) {
        w.op = "seek";
        w.error = f.error();
        return w;
    }
    if (length > max_file_bytes) {
        w.got = Got::too_large;
        return w;
    }
    // Not zeroed: the read fills every byte.
    const auto bytes = static_cast<std::size_t>(length);
    w.block.data.reset(new (std::nothrow) unsigned char[bytes == 0 ? 1 : bytes]);
    if (!w.block.data) {
        w.got = Got::no_memory;
        return w;
    }
    w.block.size = bytes;
    if (!f.read(w.block.data.get(), bytes)) {
        w.block = Block{};
        w.op = "read";
        w.error = f.error();
        return w;
    }
    w.got = Got::read;
    return w; // read-only: the quiet close loses nothing
}
