#include "wave/file.h"

#include <cerrno>
#include <cstring>

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

std::FILE *file_open(const char *path, const char *mode)
{
    if (injected_failure())
        return nullptr;
    errno = 0;
#ifdef _WIN32
    const std::wstring wide = long_path(path);
    if (!wide.empty()) {
        const std::wstring wmode(mode, mode + std::strlen(mode));
        return _wfopen(wide.c_str(), wmode.c_str());
    }
#endif
    return std::fopen(path, mode);
}

bool file_missing_error()
{
    return errno == ENOENT;
}

bool file_read(std::FILE *f, void *buf, std::size_t n)
{
    if (injected_failure())
        return false;
    return n == 0 || std::fread(buf, 1, n, f) == n;
}

bool file_write(std::FILE *f, const void *buf, std::size_t n)
{
    if (injected_failure()) {
        // A short write: the first half lands.
        if (n > 1)
            std::fwrite(buf, 1, n / 2, f);
        return false;
    }
    return n == 0 || std::fwrite(buf, 1, n, f) == n;
}

bool file_write_zeros(std::FILE *f, std::int64_t n)
{
    static const unsigned char zeros[4096] = {};
    while (n > 0) {
        const std::size_t step = n < 4096 ? static_cast<std::size_t>(n) : sizeof zeros;
        if (!file_write(f, zeros, step))
            return false;
        n -= static_cast<std::int64_t>(step);
    }
    return true;
}

bool file_seek(std::FILE *f, std::int64_t pos)
{
    if (injected_failure())
        return false;
#ifdef _WIN32
    return _fseeki64(f, pos, SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0;
#endif
}

bool file_flush(std::FILE *f)
{
    if (injected_failure())
        return false;
    return std::fflush(f) == 0;
}

bool file_length(std::FILE *f, std::int64_t *length)
{
    if (injected_failure() || std::fflush(f) != 0)
        return false;
#ifdef _WIN32
    const __int64 n = _filelengthi64(_fileno(f));
    if (n < 0)
        return false;
    *length = n;
#else
    struct stat st;
    if (fstat(fileno(f), &st) != 0)
        return false;
    *length = static_cast<std::int64_t>(st.st_size);
#endif
    return true;
}

bool file_cut(std::FILE *f, std::int64_t length)
{
    if (injected_failure() || length < 0 || std::fflush(f) != 0)
        return false;
#ifdef _WIN32
    return _chsize_s(_fileno(f), length) == 0;
#else
    return ftruncate(fileno(f), static_cast<off_t>(length)) == 0;
#endif
}

bool file_close(std::FILE *f)
{
    const bool fail = injected_failure();
    return std::fclose(f) == 0 && !fail;
}

bool file_remove(const char *path)
{
    if (injected_failure())
        return false;
#ifdef _WIN32
    const std::wstring wide = long_path(path);
    if (!wide.empty())
        return _wremove(wide.c_str()) == 0;
#endif
    return std::remove(path) == 0;
}
