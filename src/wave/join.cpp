#include "wave/join.h"

#include <memory>
#include <new>
#include <string>

#include "wave/file.h"

static constexpr std::size_t copy_bytes = 65536;

namespace {

void fail(JoinResult *r, JoinFailure failure, Report report)
{
    r->failure = failure;
    r->report = std::move(report);
}

struct Input {
    const char *path;
    Opened opened;
    JoinFailure open_failure, read_failure;
};

// Copies all of in to out, counting the bytes in *r.
void copy_input(Input &in, File &out, const char *output, unsigned char *buf, JoinResult *r)
{
    for (;;) {
        std::size_t n = 0;
        if (!in.opened.file.read_some(buf, copy_bytes, &n))
            return fail(r, in.read_failure, failure("read", in.path, in.opened.file.error()));
        if (n == 0)
            return;
        if (!out.write(buf, n))
            return fail(r, JoinFailure::write_output, failure("write", output, out.error()));
        r->bytes += static_cast<std::int64_t>(n);
    }
}

// Writes both inputs into the output's stream and closes it.
void write_output(Input (&in)[2], File &out, const char *output, JoinResult *r)
{
    std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[copy_bytes]);
    if (!buf)
        return fail(r, JoinFailure::write_output, failure("write", output, 0));
    for (Input &i : in)
        if (r->failure == JoinFailure::none)
            copy_input(i, out, output, buf.get(), r);
    const bool flushed = out.flush();
    const int error = out.error();
    const bool closed = out.close();
    if ((!flushed || !closed) && r->failure == JoinFailure::none)
        fail(r, JoinFailure::write_output, failure("write", output, flushed ? out.error() : error));
}

} // namespace

JoinResult join_files(const char *first, const char *second, const char *output)
{
    JoinResult r;
    Input in[2] = {{first, open_file(first, "rb"), JoinFailure::open_first, JoinFailure::read_first},
                   {second, open_file(second, "rb"), JoinFailure::open_second, JoinFailure::read_second}};
    for (Input &i : in)
        if (!i.opened.file) {
            fail(&r, i.open_failure, open_failure(i.opened, i.path));
            return r;
        }
    // Joining into an input would empty it before it is read: "segjoin x x.dat".
    FileId ids[2];
    for (std::size_t k = 0; k < 2; ++k)
        if (File &f = in[k].opened.file; !f.id(&ids[k])) {
            fail(&r, in[k].open_failure, failure("open", in[k].path, f.error()));
            return r;
        }
    FileId id;
    if (const int error = file_id(output, &id); error != 0 && !no_such_file(error)) {
        fail(&r, JoinFailure::create_output, failure("create", output, error));
        return r;
    } else if (error == 0 && (id == ids[0] || id == ids[1])) {
        fail(&r, JoinFailure::same_file, report(Code::join_same, output));
        return r;
    }

    PathKind kind = PathKind::missing;
    if (const int error = path_kind(output, &kind); error != 0) {
        fail(&r, JoinFailure::create_output, failure("create", output, error));
        return r;
    }
    if (kind == PathKind::other) {
        // A device or a pipe (segjoin x /dev/stdout) cannot be replaced, only
        // written to.
        Opened o = open_stream(output, "wb");
        if (!o.file)
            fail(&r, JoinFailure::create_output, failure("create", output, o.error));
        else
            write_output(in, o.file, output, &r);
        return r;
    }
    // Through a symbolic link, the file it leads to is replaced, and the link stays.
    const std::string target = final_path(output);
    const std::string scratch = target + ".tmp";
    if (const int error = remove_file(scratch.c_str()); error != 0 && !no_such_file(error)) {
        fail(&r, JoinFailure::create_output, failure("create", output, error));
        return r;
    }
    Opened o = create_file(scratch.c_str());
    if (!o.file) {
        fail(&r, JoinFailure::create_output, failure("create", output, o.error));
        return r;
    }
    write_output(in, o.file, output, &r);
    if (r.failure == JoinFailure::none)
        if (const int error = rename_file(scratch.c_str(), target.c_str(), true); error != 0)
            fail(&r, JoinFailure::write_output, failure("rename", output, error));
    if (r.failure != JoinFailure::none)
        remove_file(scratch.c_str());
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
    case JoinFailure::same_file:
        return -1;
    case JoinFailure::open_first:
    case JoinFailure::open_second:
    case JoinFailure::read_first:
    case JoinFailure::read_second:
        break;
    }
    return -2;
}
