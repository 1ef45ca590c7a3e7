#include "util.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "front/run.h"

#ifdef _WIN32
#include "win32.h"
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

static unsigned process_id();

TempDir::TempDir()
{
    // A folder of the same name may be left by an earlier process of the same
    // id (process ids come round again, under Wine soon): it is removed, and
    // one that cannot be (Wine does not remove the longest paths of
    // Output.LongOutfileNames) is passed over for the next name.
    static std::atomic<unsigned> counter{0};
    const fs::path base = fs::temp_directory_path();
    for (;;) {
        dir_ = base / ("segmix-test-" + std::to_string(process_id()) + "-" + std::to_string(counter++));
        std::error_code ec;
        fs::remove_all(dir_, ec);
        if (fs::create_directory(dir_))
            break;
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

fs::path utf8_path(const std::string &path)
{
    return fs::path(std::u8string(path.begin(), path.end()));
}

std::string utf8_string(const fs::path &path)
{
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

std::string TempDir::path(const std::string &name) const
{
    return utf8_string(dir_ / utf8_path(name));
}

Bytes read_file(const std::string &path)
{
    std::ifstream in(utf8_path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const Bytes &bytes)
{
    std::ofstream out(utf8_path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string &path)
{
    return fs::exists(utf8_path(path));
}

std::optional<Bytes> read_if(const std::string &path)
{
    if (!fs::is_regular_file(utf8_path(path)))
        return std::nullopt;
    return read_file(path);
}

Bytes text_bytes(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

OutputFiles files_of(const std::string &out)
{
    return {read_if(out + ".whd"), read_if(out + ".dat"), file_exists(out + ".jnl")};
}

static void put_file(const std::string &path, const std::optional<Bytes> &bytes)
{
    if (bytes)
        write_file(path, *bytes);
    else
        fs::remove(utf8_path(path));
}

void set_files(const std::string &out, const OutputFiles &files)
{
    put_file(out + ".whd", files.header);
    put_file(out + ".dat", files.data);
    fs::remove(utf8_path(out + ".jnl"));
}

bool consistent(const OutputFiles &f)
{
    if (!f.header || f.header->size() != 44)
        return false;
    const std::size_t length = f.data ? f.data->size() : 0;
    return le32_at(*f.header, 40) == length && le32_at(*f.header, 4) == length + 36;
}

void append_le16(Bytes *b, std::uint16_t v)
{
    b->push_back(static_cast<unsigned char>(v));
    b->push_back(static_cast<unsigned char>(v >> 8));
}

void append_le32(Bytes *b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b->push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void append_id(Bytes *b, const char *id)
{
    b->insert(b->end(), id, id + 4);
}

void set_le16(Bytes *b, std::size_t at, std::uint16_t v)
{
    (*b)[at] = static_cast<unsigned char>(v);
    (*b)[at + 1] = static_cast<unsigned char>(v >> 8);
}

void set_le32(Bytes *b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        (*b)[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t le32_at(const Bytes &b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

Bytes make_wav(const std::vector<std::int16_t> &samples, const WavSpec &shape)
{
    const std::uint16_t align =
        shape.block_align ? shape.block_align : static_cast<std::uint16_t>(2 * shape.channels);
    const auto data_bytes = static_cast<std::uint32_t>(2 * samples.size());
    Bytes b;
    append_id(&b, "RIFF");
    append_le32(&b, 0); // set below
    append_id(&b, "WAVE");
    append_id(&b, "fmt ");
    append_le32(&b, static_cast<std::uint32_t>(shape.fmt_size));
    append_le16(&b, shape.format_tag);
    append_le16(&b, shape.channels);
    append_le32(&b, static_cast<std::uint32_t>(shape.sample_rate));
    append_le32(&b, static_cast<std::uint32_t>(shape.sample_rate) * align);
    append_le16(&b, align);
    append_le16(&b, shape.bits);
    for (std::int32_t i = 16; i < shape.fmt_size; ++i)
        b.push_back(0);
    b.insert(b.end(), shape.before_data.begin(), shape.before_data.end());
    append_id(&b, "data");
    append_le32(&b, shape.data_size < 0 ? data_bytes : static_cast<std::uint32_t>(shape.data_size));
    for (std::int16_t s : samples)
        append_le16(&b, static_cast<std::uint16_t>(s));
    set_le32(&b, 4, static_cast<std::uint32_t>(b.size() - 8));
    return b;
}

Bytes header_for(std::uint32_t data_bytes, std::uint32_t rate)
{
    Bytes b;
    append_id(&b, "RIFF");
    append_le32(&b, 36 + data_bytes);
    append_id(&b, "WAVE");
    append_id(&b, "fmt ");
    append_le32(&b, 16);
    append_le16(&b, 1);
    append_le16(&b, 1);
    append_le32(&b, rate);
    append_le32(&b, rate * 2);
    append_le16(&b, 2);
    append_le16(&b, 16);
    append_id(&b, "data");
    append_le32(&b, data_bytes);
    return b;
}

Samples samples_of(const Bytes &bytes)
{
    Samples s(bytes.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return s;
}

Bytes bytes_of(const Samples &samples)
{
    Bytes b;
    for (std::int16_t v : samples)
        append_le16(&b, static_cast<std::uint16_t>(v));
    return b;
}

Samples ramp(int offset, int length)
{
    Samples s(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i)
        s[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(100 + offset + i);
    return s;
}

Bytes ramp_source()
{
    WavSpec shape;
    shape.sample_rate = 1000;
    return make_wav(ramp(), shape);
}

std::vector<std::string> full_gain_note(const std::string &out, const std::string &src, int offset,
                                        int length, const std::string &ovr)
{
    return {out, src, std::to_string(offset), std::to_string(length), "0", "0", "0", "100", "100",
            "100", "100", ovr, "0", "0", "100"};
}

std::string batch_word(const std::string &text)
{
    std::string w = "'";
    for (char c : text)
        w += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return w + "'";
}

std::string batch_line(const std::vector<std::string> &words)
{
    std::string line;
    for (const std::string &w : words)
        line += (line.empty() ? "" : " ") + batch_word(w);
    return line;
}

Argv::Argv(std::vector<std::string> words, const char *program) : words_(std::move(words))
{
    v_.push_back(program);
    for (const std::string &w : words_)
        v_.push_back(w.c_str());
}

static unsigned process_id()
{
#ifdef _WIN32
    return static_cast<unsigned>(_getpid());
#else
    return static_cast<unsigned>(getpid());
#endif
}

Capture::Capture()
{
    static std::atomic<unsigned> counter{0};
    path_ = fs::temp_directory_path() / ("segmix-capture-" + std::to_string(process_id()) + "-" +
                                         std::to_string(counter++));
    f_ = std::fopen(path_.string().c_str(), "w+b");
    if (!f_)
        throw std::runtime_error("no temporary file to capture into: " + path_.string());
}

Capture::~Capture()
{
    std::fclose(f_);
    std::error_code ec;
    fs::remove(path_, ec);
}

std::string Capture::text() const
{
    std::fflush(f_);
    std::rewind(f_);
    std::string t;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f_)) > 0;)
        t.append(buf, n);
    return t;
}

void set_samples(const char *samples)
{
#ifdef _WIN32
    _putenv_s("samples", samples ? samples : "");
#else
    if (samples)
        setenv("samples", samples, 1);
    else
        unsetenv("samples");
#endif
}

RunResult run_inprocess(const std::vector<std::string> &args, const char *samples)
{
    set_samples(samples);
    const Argv argv(args);
    Capture out;
    const int status = segmix_main(argv.argc(), argv.argv(), out.file());
    set_samples(nullptr);
    return {status, out.text()};
}

#ifdef _WIN32
// One argument as the C runtime's parser reads it back: in double quotes, a
// quote inside as \", and the backslashes in front of a quote doubled.
// (cmd.exe still expands %name% inside quotes; no test passes a percent sign.)
static std::string quoted(const std::string &s)
{
    std::string q = "\"";
    std::size_t slashes = 0;
    for (char c : s) {
        if (c == '\\') {
            ++slashes;
        } else {
            if (c == '"')
                q.append(slashes + 1, '\\');
            slashes = 0;
        }
        q += c;
    }
    q.append(slashes, '\\');
    return q + "\"";
}

// A path cmd.exe can start: Wine shows the Unix root as drive Z:, and cmd.exe
// wants backslashes.
static std::string windows_path(const std::string &path)
{
    std::string p = path.size() > 0 && path[0] == '/' ? "Z:" + path : path;
    for (char &c : p)
        if (c == '/')
            c = '\\';
    return p;
}
#else
static std::string quoted(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
#endif

RunResult run_program(const std::string &exe, const std::vector<std::string> &args,
                      const char *samples)
{
    set_samples(samples);
#ifdef _WIN32
    std::string cmd = quoted(windows_path(exe));
#else
    std::string cmd = quoted(exe);
#endif
    for (const std::string &a : args)
        cmd += " " + quoted(a);
#ifdef _WIN32
    // _popen runs cmd.exe /c with the line, and cmd.exe drops the line's first
    // and last quote when it holds more than two: one more pair keeps ours.
    cmd = "\"" + cmd + "\"";
    // Wide, so that a name of any script reaches the program as it is.
    const int length = MultiByteToWideChar(CP_UTF8, 0, cmd.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, cmd.c_str(), -1, wide.data(), length);
    std::FILE *p = _wpopen(wide.c_str(), L"rb");
#else
    std::FILE *p = popen(cmd.c_str(), "r");
#endif
    RunResult r{-1000, ""};
    if (!p) {
        set_samples(nullptr);
        return r;
    }
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
#ifdef _WIN32
    r.status = _pclose(p);
#else
    const int w = pclose(p);
    r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1000;
#endif
    set_samples(nullptr);
    return r;
}

std::string console_text(const std::string &s)
{
    std::string t;
    for (char c : s) {
        if (c == '\n')
            t += console_newline;
        else
            t += c;
    }
    return t;
}
