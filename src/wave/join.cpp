#include "wave/join.h"

#include <memory>
#include <new>

#include "wave/file.h"

static constexpr std::size_t copy_bytes = 65536;

namespace {

struct Input {
    const char *path;
    JoinFailure open_failure, read_failure;
};

void fail(JoinResult *r, JoinFailure failure, const char *op, const char *path, int error)
{
    r->failure = failure;
    r->report = ::failure(op, path, error);
}

// Copies all of in to out, counting the bytes in *r.
void copy_input(const Input &in, File &out, const char *output, unsigned char *buf, JoinResult *r)
{
    Opened o = open_file(in.path, "rb");
    if (!o.file)
        return fail(r, in.open_failure, "open", in.path, o.error);
    for (;;) {
        std::size_t n = 0;
        if (!o.file.read_some(buf, copy_bytes, &n))
            return fail(r, in.read_failure, "read", in.path, o.file.error());
        if (n == 0)
            return;
        if (!out.write(buf, n))
            return fail(r, JoinFailure::write_output, "write", output, out.error());
        r->bytes += static_cast<std::int64_t>(n);
    }
}

} // namespace

JoinResult join_files(const char *first, const char *second, const char *output)
{
    JoinResult r;
    std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[copy_bytes]);
    if (!buf) {
        fail(&r, JoinFailure::create_output, "create", output, 0);
        return r;
    }
    Opened o = open_file(output, "wb");
    if (!o.file) {
        fail(&r, JoinFailure::create_output, "create", output, o.error);
        return r;
    }
    File &out = o.file;
    copy_input({first, JoinFailure::open_first, JoinFailure::read_first}, out, output, buf.get(), &r);
    if (r.failure == JoinFailure::none)
        copy_input({second, JoinFailure::open_second, JoinFailure::read_second}, out, output,
                   buf.get(), &r);
    const bool flushed = out.flush();
    const bool closed = out.close();
    if ((!closed || !flushed) && r.failure == JoinFailure::none)
        fail(&r, JoinFailure::write_output, "write", output, out.error());
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
