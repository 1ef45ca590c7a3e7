#include "wave/join.h"

#include <cstdio>
#include <memory>
#include <new>

#include "wave/file.h"

static constexpr std::size_t copy_bytes = 65536;

// Copies all of in to out; the failure, if any, names which side failed.
static JoinFailure copy_file(std::FILE *in, std::FILE *out, unsigned char *buf,
                             JoinFailure read_failure, std::int64_t *bytes)
{
    for (;;) {
        const std::size_t n = std::fread(buf, 1, copy_bytes, in);
        if (n == 0)
            return std::ferror(in) ? read_failure : JoinFailure::none;
        if (!file_write(out, buf, n))
            return JoinFailure::write_output;
        *bytes += static_cast<std::int64_t>(n);
    }
}

static JoinFailure copy_input(const char *path, std::FILE *out, unsigned char *buf,
                              JoinFailure open_failure, JoinFailure read_failure,
                              std::int64_t *bytes)
{
    std::FILE *in = file_open(path, "rb");
    if (!in)
        return open_failure;
    const JoinFailure failure = copy_file(in, out, buf, read_failure, bytes);
    file_close(in);
    return failure;
}

JoinResult join_files(const char *first, const char *second, const char *output)
{
    JoinResult r;
    std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[copy_bytes]);
    std::FILE *out = buf ? file_open(output, "wb") : nullptr;
    if (!out) {
        r.failure = JoinFailure::create_output;
        return r;
    }
    r.failure = copy_input(first, out, buf.get(), JoinFailure::open_first,
                           JoinFailure::read_first, &r.bytes);
    if (r.failure == JoinFailure::none)
        r.failure = copy_input(second, out, buf.get(), JoinFailure::open_second,
                               JoinFailure::read_second, &r.bytes);
    const bool flushed = file_flush(out);
    if (!file_close(out) || !flushed)
        if (r.failure == JoinFailure::none)
            r.failure = JoinFailure::write_output;
    return r;
}

std::int32_t binjoin(const char *first, const char *second, const char *output)
{
    const JoinResult r = join_files(first, second, output);
    switch (r.failure) {
    case JoinFailure::none:
        return r.bytes > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(r.bytes);
    case JoinFailure::create_output:
    case JoinFailure::write_output:
        return -1;
    default:
        return -2;
    }
}
