#include "wave/file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#ifdef _WIN32
#include <io.h>
#include <string>
#include "win32.h"
#include <fcntl.h>
#else
#include <fcntl.h>
#include <sys/file.h>
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
thread_local int fail_error = EIO;

bool injected_failure()
{
    ++op_count;
    if (fail_at == 0 || op_count < fail_at || (op_count > fail_at && !fail_after))
        return false;
    errno = fail_error;
    return true;
}

#ifdef _WIN32
// The wide form of a path, which is UTF-8 inside the tools: a path that nears
// MAX_PATH (260) characters reaches the file system as the \\?\ form of its
// full path. Bytes that are not UTF-8 become U+FFFD, a name no file has.
std::wstring wide_path(const char *path)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
    if (n <= 1)
        return {};
    std::wstring wide(static_cast<std::size_t>(n - 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), n);
    if (wide.size() < MAX_PATH - 12)
        return wide;
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return wide;
    std::wstring full(size, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (got == 0 || got >= size)
        return wide;
    full.resize(got);
    if (full.rfind(L"\\\\?\\", 0) == 0)
        return full;
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}
#endif

} // namespace

void file_fail_at(std::int64_t n, bool and_after, int error)
{
    op_count = 0;
    fail_at = n;
    fail_after = and_after;
    fail_error = error != 0 ? error : EIO;
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

LineRead File::read_line(std::string *line, std::size_t max)
{
    line->clear();
    errno = 0;
    if (injected_failure()) {
        failed();
        return LineRead::error;
    }
    bool got_any = false, too_long = false, no_memory = false;
    for (int c; (c = std::getc(f_)) != EOF;) {
        got_any = true;
        if (c == '\n')
            return too_long ? LineRead::too_long : no_memory ? LineRead::no_memory : LineRead::line;
        if (too_long || no_memory)
            continue;
        if (line->size() >= max) {
            too_long = true;
            continue;
        }
        try {
            *line += static_cast<char>(c);
        } catch (const std::bad_alloc &) {
            no_memory = true;
            std::string().swap(*line);
        }
    }
    if (std::ferror(f_)) {
        failed();
        return LineRead::error;
    }
    if (too_long)
        return LineRead::too_long;
    if (no_memory)
        return LineRead::no_memory;
    return got_any ? LineRead::last : LineRead::end;
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

bool no_such_file(int error)
{
    return error == ENOENT;
}

bool Opened::missing() const
{
    return !file && !irregular && no_such_file(error);
}

Report open_failure(const Opened &o, const std::string &path)
{
    return o.irregular ? report(Code::not_regular, path) : failure("open", path, o.error);
}

namespace {

// An open that failed: how, and (for an injected failure) EIO.
Opened not_opened(int error, bool irregular = false)
{
    Opened o;
    o.error = error != 0 ? error : EIO;
    o.irregular = irregular;
    return o;
}

Opened opened(std::FILE *f)
{
    Opened o;
    o.file = File(f);
    return o;
}

#ifdef _WIN32
// The errno value for a Windows error code, as the C runtime maps them.
int errno_of(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

// A stream that is a disk file: a name such as CON, NUL or COM1 opens a
// device, whose reads would wait for a keyboard or a line.
bool on_disk(std::FILE *f)
{
    const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    return GetFileType(h) == FILE_TYPE_DISK;
}

Opened open_wide(const char *path, const char *mode, bool regular)
{
    const std::wstring wide = wide_path(path);
    const std::wstring wmode(mode, mode + std::strlen(mode));
    errno = 0;
    std::FILE *f = _wfopen(wide.c_str(), wmode.c_str());
    if (!f)
        return not_opened(errno);
    if (regular && !on_disk(f)) {
        std::fclose(f);
        return not_opened(EINVAL, true);
    }
    return opened(f);
}
#else
int open_flags(const char *mode)
{
    const bool plus = std::strchr(mode, '+') != nullptr;
    if (mode[0] == 'r')
        return plus ? O_RDWR : O_RDONLY;
    return (plus ? O_RDWR : O_WRONLY) | O_CREAT | (mode[0] == 'w' ? O_TRUNC : O_APPEND);
}

bool irregular_mode(mode_t m)
{
    return !S_ISREG(m) && !S_ISDIR(m);
}

// Opens without blocking (a FIFO with no writer would hold an open or a read
// for ever), checks what was opened, and only then hands it to stdio.
Opened open_fd(const char *path, int flags, const char *mode)
{
    const int fd = ::open(path, flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        // A FIFO without a reader refuses a write-only open (ENXIO).
        struct stat st;
        const bool irregular = ::stat(path, &st) == 0 && irregular_mode(st.st_mode);
        return not_opened(error, irregular);
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || irregular_mode(st.st_mode)) {
        const int error = errno;
        ::close(fd);
        return not_opened(error, true);
    }
    const int status = fcntl(fd, F_GETFL);
    std::FILE *f = status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) < 0 ? nullptr
                                                                              : fdopen(fd, mode);
    if (!f) {
        const int error = errno;
        ::close(fd);
        return not_opened(error);
    }
    return opened(f);
}
#endif

#ifdef _WIN32
// The volume's serial number and the file's index: 0, or the error number.
int id_of(HANDLE h, FileId *id)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info))
        return errno_of(GetLastError());
    id->volume = info.dwVolumeSerialNumber;
    id->index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return 0;
}
#else
FileId id_of(const struct stat &st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}
#endif

thread_local std::int64_t lock_wait_ms = 30000;

} // namespace

Opened open_file(const char *path, const char *mode)
{
    if (injected_failure())
        return not_opened(errno);
#ifdef _WIN32
    return open_wide(path, mode, true);
#else
    return open_fd(path, open_flags(mode), mode);
#endif
}

Opened create_file(const char *path)
{
    if (injected_failure())
        return not_opened(errno);
#ifdef _WIN32
    const std::wstring wide = wide_path(path);
    // CREATE_NEW fails where anything of the name exists, a link included.
    const HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return not_opened(errno_of(GetLastError()));
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return not_opened(EMFILE);
    }
    std::FILE *f = _fdopen(fd, "wb");
    if (!f) {
        _close(fd);
        return not_opened(EMFILE);
    }
    return opened(f);
#else
    return open_fd(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, "wb");
#endif
}

Opened open_stream(const char *path, const char *mode)
{
    if (injected_failure())
        return not_opened(errno);
#ifdef _WIN32
    return open_wide(path, mode, false);
#else
    errno = 0;
    std::FILE *f = std::fopen(path, mode);
    if (!f)
        return not_opened(errno);
    return opened(f);
#endif
}

int path_kind(const char *path, PathKind *kind)
{
    if (injected_failure())
        return errno;
#ifdef _WIN32
    const std::wstring wide = wide_path(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const int error = errno_of(GetLastError());
        if (!no_such_file(error))
            return error;
        *kind = PathKind::missing;
        return 0;
    }
    // A name such as NUL or CON is a device, whatever folder it is in.
    const HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool disk = h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_DISK;
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    *kind = disk && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ? PathKind::regular : PathKind::other;
    return 0;
#else
    struct stat st;
    if (::stat(path, &st) != 0) {
        if (!no_such_file(errno))
            return errno;
        *kind = PathKind::missing;
        return 0;
    }
    *kind = S_ISREG(st.st_mode) ? PathKind::regular : PathKind::other;
    return 0;
#endif
}

std::string final_path(const char *path)
{
#ifndef _WIN32
    struct stat st;
    if (::lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        std::unique_ptr<char, decltype(&std::free)> real(::realpath(path, nullptr), &std::free);
        if (real)
            return real.get();
    }
#endif
    return path;
}

int remove_file(const char *path)
{
    if (injected_failure())
        return errno;
    errno = 0;
#ifdef _WIN32
    const std::wstring wide = wide_path(path);
    if (_wremove(wide.c_str()) == 0)
        return 0;
#else
    if (std::remove(path) == 0)
        return 0;
#endif
    return errno != 0 ? errno : EIO;
}

int rename_file(const char *from, const char *to, bool replace)
{
    if (injected_failure())
        return errno;
#ifdef _WIN32
    const std::wstring wfrom = wide_path(from), wto = wide_path(to);
    if (MoveFileExW(wfrom.c_str(), wto.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0))
        return 0;
    return errno_of(GetLastError());
#else
    if (replace)
        return ::rename(from, to) == 0 ? 0 : errno;
    // A second name, then the first one gone: link fails where to exists.
    if (::link(from, to) == 0)
        return ::unlink(from) == 0 ? 0 : errno;
    const int error = errno;
    if (error == EEXIST)
        return error;
    // File systems without hard links: rename where nothing is in the way.
    struct stat st;
    if (::lstat(to, &st) == 0)
        return EEXIST;
    return ::rename(from, to) == 0 ? 0 : errno;
#endif
}

int file_id(const char *path, FileId *id)
{
    if (injected_failure())
        return errno;
#ifdef _WIN32
    const std::wstring wide = wide_path(path);
    const HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return errno_of(GetLastError());
    const int error = id_of(h, id);
    CloseHandle(h);
    return error;
#else
    struct stat st;
    if (::stat(path, &st) != 0)
        return errno;
    *id = id_of(st);
    return 0;
#endif
}

bool File::id(FileId *id)
{
    errno = 0;
    if (injected_failure())
        return failed();
#ifdef _WIN32
    const int error = id_of(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f_))), id);
    if (error != 0) {
        errno = error;
        return failed();
    }
#else
    struct stat st;
    if (fstat(fileno(f_), &st) != 0)
        return failed();
    *id = id_of(st);
#endif
    return true;
}

Lock::Lock(Lock &&o) noexcept
{
    *this = std::move(o);
}

Lock &Lock::operator=(Lock &&o) noexcept
{
    if (this != &o) {
        release();
#ifdef _WIN32
        handle_ = o.handle_;
        o.handle_ = nullptr;
#else
        fd_ = o.fd_;
        o.fd_ = -1;
#endif
    }
    return *this;
}

Lock::~Lock()
{
    release();
}

Lock::operator bool() const
{
#ifdef _WIN32
    return handle_ != nullptr;
#else
    return fd_ >= 0;
#endif
}

void Lock::release()
{
#ifdef _WIN32
    if (handle_) {
        OVERLAPPED at = {};
        UnlockFileEx(handle_, 0, 1, 0, &at);
        CloseHandle(handle_);
        handle_ = nullptr;
    }
#else
    if (fd_ >= 0) {
        ::close(fd_); // closing the last descriptor releases the lock
        fd_ = -1;
    }
#endif
}

void file_lock_wait(std::int64_t milliseconds)
{
    lock_wait_ms = milliseconds;
}

Locked lock_file(const char *path)
{
    Locked l;
    if (injected_failure()) {
        l.error = errno;
        return l;
    }
#ifdef _WIN32
    const std::wstring wide = wide_path(path);
    const HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        l.error = errno_of(GetLastError());
        // A folder of the name refuses the open as access denied.
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        l.irregular = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return l;
    }
    l.lock.handle_ = h;
    if (GetFileType(h) != FILE_TYPE_DISK) {
        l.lock.release();
        l.irregular = true;
        return l;
    }
    const auto try_lock = [&] {
        OVERLAPPED at = {};
        return LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
    };
#else
    const int fd = ::open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        l.error = errno;
        struct stat st;
        l.irregular = ::stat(path, &st) == 0 && !S_ISREG(st.st_mode);
        return l;
    }
    l.lock.fd_ = fd;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        l.lock.release();
        l.irregular = true;
        return l;
    }
    // flock locks belong to the open file description: another open of the
    // file, in this process or another, is another holder. Record locks
    // (fcntl) would not keep out the threads of one process.
    const auto try_lock = [&] { return flock(fd, LOCK_EX | LOCK_NB) == 0; };
#endif
    // Waits that grow from 1 ms to 20 ms: a note's run takes a few ms, and a
    // waiting run should follow soon after the holder lets go.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lock_wait_ms);
    for (int pause = 1;; pause = std::min(pause * 2, 20)) {
        if (try_lock()) {
            l.state = Locking::held;
            return l;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
    l.lock.release();
    l.state = Locking::busy;
    return l;
}

WholeFile read_whole_file(const char *path)
{
    WholeFile w;
    Opened o = open_file(path, "rb");
    if (!o.file) {
        w.got = o.irregular ? Got::irregular : o.missing() ? Got::missing : Got::unopenable;
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
