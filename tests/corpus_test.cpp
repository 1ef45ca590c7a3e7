// A malformed-input corpus: from one valid source and one valid output, every
// truncation of the source and of the header file, named damages of their
// fields, and a few thousand seeded mutations, each run through the tool. None
// may crash; each ends with 0 or -1 and lines the tool knows how to print; a
// run that ends with -1 leaves both output files byte for byte as they were,
// and one that ends with 0 on a consistent output leaves it consistent.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "messages.h"
#include "util.h"

namespace fs = std::filesystem;

namespace {


std::vector<std::int16_t> steps(int n)
{
    std::vector<std::int16_t> s(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        s[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(1000 * i - 20000);
    return s;
}

// The plain source: fmt at 12, data at 36.
Bytes plain_source()
{
    WavSpec shape;
    shape.sample_rate = 1000;
    return make_wav(steps(40), shape);
}

// A source whose walk to the data chunk passes an 18-byte fmt body and a LIST
// chunk: LIST at 38, its size at 42, data at 50.
Bytes listed_source()
{
    WavSpec shape;
    shape.sample_rate = 1000;
    shape.fmt_size = 18;
    shape.channels = 2;
    append_id(&shape.before_data, "LIST");
    append_le32(&shape.before_data, 4);
    append_id(&shape.before_data, "abcd");
    return make_wav(steps(40), shape);
}

// A rate field is a size too, but a large rate makes a 20 ms note long: its
// values stay where a note renders in moments.
enum class Kind { id, size16, size32, rate };
struct Field {
    const char *name;
    std::size_t at;
    Kind kind;
};

const std::vector<Field> header_fields = {
    {"riff_id", 0, Kind::id},        {"riff_size", 4, Kind::size32},
    {"wave_id", 8, Kind::id},        {"fmt_id", 12, Kind::id},
    {"fmt_size", 16, Kind::size32},  {"format_tag", 20, Kind::size16},
    {"channels", 22, Kind::size16},  {"sample_rate", 24, Kind::rate},
    {"avg_bytes_per_sec", 28, Kind::size32}, {"block_align", 32, Kind::size16},
    {"bits_per_sample", 34, Kind::size16},   {"data_id", 36, Kind::id},
    {"data_size", 40, Kind::size32},
};

std::vector<Field> listed_fields()
{
    std::vector<Field> f(header_fields.begin(), header_fields.end() - 2);
    f.push_back({"list_id", 38, Kind::id});
    f.push_back({"list_size", 42, Kind::size32});
    f.push_back({"data_id", 50, Kind::id});
    f.push_back({"data_size", 54, Kind::size32});
    return f;
}

const char *const ids[] = {"RIFF", "WAVE", "fmt ", "data", "LIST", "fact", "riff", "RIFX"};
const std::uint32_t sizes32[] = {0, 1, 2, 3, 15, 16, 17, 18, 36, 44, 0x7fffffff, 0x80000000,
                                 0xffffffff, 0xfffffff8, 0xfffffff0, 0x7ffffff0};
const std::uint32_t rates[] = {0, 1, 8000, 44100, 200000, 0x80000000, 0xffffffff};
const std::uint16_t sizes16[] = {0, 1, 2, 3, 4, 6, 8, 16, 24, 32, 0x7fff, 0x8000, 0xfffe, 0xffff};

std::uint32_t draw(std::mt19937 *rng)
{
    return static_cast<std::uint32_t>((*rng)());
}

void set_field(Bytes *b, const Field &f, std::uint32_t v)
{
    if (f.at + (f.kind == Kind::size16 ? 2 : 4) > b->size())
        return;
    if (f.kind == Kind::size16)
        set_le16(b, f.at, static_cast<std::uint16_t>(v));
    else
        set_le32(b, f.at, v);
}

void set_id(Bytes *b, const Field &f, const char *id)
{
    if (f.at + 4 <= b->size())
        std::copy(id, id + 4, b->begin() + static_cast<std::ptrdiff_t>(f.at));
}

// One mutation of one field: an id replaced, or a size set to an edge value,
// its neighbour, or random bits.
void mutate(Bytes *b, const std::vector<Field> &fields, std::mt19937 *rng)
{
    const Field &f = fields[draw(rng) % fields.size()];
    const unsigned pick = draw(rng) % 4;
    if (f.kind == Kind::id) {
        if (pick == 0) {
            for (std::size_t i = 0; i < 4 && f.at + i < b->size(); ++i)
                (*b)[f.at + i] = static_cast<unsigned char>(draw(rng));
        } else {
            set_id(b, f, ids[draw(rng) % std::size(ids)]);
        }
        return;
    }
    const std::uint32_t old = f.at + 4 <= b->size() ? le32_at(*b, f.at) : 0;
    std::uint32_t v;
    if (f.kind == Kind::rate)
        v = pick == 0 ? draw(rng) % 200000 : rates[draw(rng) % std::size(rates)];
    else if (pick == 0)
        v = draw(rng);
    else if (pick == 1)
        v = old + (draw(rng) % 2 ? 1u : 0xffffffffu); // one more or one less
    else if (f.kind == Kind::size16)
        v = sizes16[draw(rng) % std::size(sizes16)];
    else
        v = sizes32[draw(rng) % std::size(sizes32)];
    set_field(b, f, v);
}

using File = std::optional<Bytes>;

// Whether line is what the format prints for some value of its one %d or %s.
bool matches(const std::string &line, const std::string &format)
{
    const std::string fmt = format.substr(0, format.size() - 1); // the line feed
    const std::size_t at = fmt.find('%');
    if (at == std::string::npos)
        return line == fmt;
    const std::string head = fmt.substr(0, at), tail = fmt.substr(at + 2);
    if (line.size() < head.size() + tail.size() || line.compare(0, head.size(), head) != 0 ||
        line.compare(line.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const std::string value = line.substr(head.size(), line.size() - head.size() - tail.size());
    if (fmt[at + 1] == 's')
        return !value.empty();
    std::size_t i = value[0] == '-' ? 1 : 0;
    if (i == value.size())
        return false;
    for (; i < value.size(); ++i)
        if (value[i] < '0' || value[i] > '9')
            return false;
    return true;
}

const char *const notices[] = {msg::sample_rate, msg::infile_size, msg::read_binload,
                               msg::malloc_binload, msg::large_binload};
const char *const refusals[] = {
    msg::bad_params,    msg::only_16bit,      msg::not_riff,        msg::not_wave,
    msg::source_short,  msg::bad_fmt_size,    msg::no_data,         msg::bad_block_align,
    msg::negative_rate, msg::note_range,      msg::malloc_buffer,   msg::malloc_overlap,
    msg::header_short,  msg::header_negative, msg::data_short,      msg::output_large,
    msg::riff_range,
    msg::file_failed,
};

bool is_any(const std::string &line, const char *const *list, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (matches(line, list[i]))
            return true;
    return false;
}

class Corpus : public ::testing::Test {
protected:
    Corpus() : out_(dir_.path("out")), src_(dir_.path("src.wav")) {}

    // Runs the note on these files; checks the run and tallies its status.
    void run(const Bytes &source, const File &header, const File &data, const std::string &what)
    {
        SCOPED_TRACE(what);
        write_file(src_, source);
        for (const auto &[path, bytes] : {std::pair{out_ + ".whd", header}, {out_ + ".dat", data}}) {
            if (bytes)
                write_file(path, *bytes);
            else
                fs::remove(path);
        }
        const RunResult r = run_inprocess({out_, src_, "2", "20", "0", "0", "0", "100", "80",
                                           "60", "40", "3", "0", "0", "100"});
        const File h = read_if(out_ + ".whd"), d = read_if(out_ + ".dat");
        const std::vector<std::string> lines = lines_of(r.out);
        ASSERT_TRUE(r.status == 0 || r.status == -1) << r.status;
        ASSERT_FALSE(r.out.empty() || r.out.back() != '\n') << r.out;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            EXPECT_TRUE(is_any(lines[i], notices, std::size(notices))) << lines[i];
        if (r.status == -1) {
            ++refused_;
            EXPECT_TRUE(is_any(lines.back(), refusals, std::size(refusals))) << lines.back();
            EXPECT_EQ(h, header);
            EXPECT_EQ(d, data);
        } else {
            ++passed_;
            EXPECT_TRUE(is_any(lines.back(), notices, std::size(notices))) << lines.back();
            if (consistent({header, data})) {
                EXPECT_TRUE(consistent({h, d}));
            }
        }
        EXPECT_FALSE(fs::exists(out_ + ".jnl"));
    }

    void TearDown() override
    {
        std::printf("%d runs: %d ended with 0, %d with -1\n", passed_ + refused_, passed_, refused_);
    }

    const Bytes header_ = header_for(40);
    const Bytes data_ = Bytes(40, 7);
    int passed_ = 0, refused_ = 0;

private:
    TempDir dir_;
    std::string out_, src_;
};

TEST_F(Corpus, EveryTruncation)
{
    for (const Bytes &source : {plain_source(), listed_source()})
        for (std::size_t n = 0; n < source.size(); ++n)
            run(Bytes(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(n)), header_,
                data_, "source cut to " + std::to_string(n));
    Bytes longer = header_;
    longer.resize(60, 'x');
    for (std::size_t n = 0; n <= longer.size(); ++n)
        run(plain_source(), Bytes(longer.begin(), longer.begin() + static_cast<std::ptrdiff_t>(n)),
            data_, "header file cut to " + std::to_string(n));
    for (std::size_t n = 0; n < data_.size(); ++n)
        run(plain_source(), header_, Bytes(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(n)),
            "data file cut to " + std::to_string(n));
}

TEST_F(Corpus, NamedDamages)
{
    struct Case {
        const char *name;
        bool listed;         // the source with the LIST chunk
        std::size_t at;      // field offset in the source
        std::uint32_t value; // written as 2 bytes at the 16-bit fields, else 4
        bool wide;
    } cases[] = {
        {"fmt_size huge", false, 16, 0x7fffffff, true},
        {"fmt_size negative", false, 16, 0xfffffff0, true},
        {"fmt_size -20: the data chunk at 0", false, 16, 0xffffffec, true},
        {"fmt_size odd", false, 16, 17, true},
        {"block_align 0", false, 32, 0, false},
        {"channels 0", false, 22, 0, false},
        {"channels 65535", false, 22, 65535, false},
        {"channels 2 with block_align 2", false, 22, 2, false},
        {"sample_rate negative", false, 24, 0x80000000, true},
        {"sample_rate 0", false, 24, 0, true},
        {"data_size -1", false, 40, 0xffffffff, true},
        {"data_size past the file", false, 40, 0x7fffffff, true},
        {"data_size odd", false, 40, 33, true},
        {"LIST past the end", true, 42, 0x7fffffff, true},
        {"LIST of -8, a walk that would loop if signed", true, 42, 0xfffffff8, true},
        {"LIST of -12", true, 42, 0xfffffff4, true},
        {"LIST odd", true, 42, 3, true},
        {"LIST one past the end", true, 42, 0x4e, true},
    };
    for (const Case &c : cases) {
        Bytes s = c.listed ? listed_source() : plain_source();
        if (c.wide)
            set_le32(&s, c.at, c.value);
        else
            set_le16(&s, c.at, static_cast<std::uint16_t>(c.value));
        run(s, header_, data_, c.name);
    }
    // bits_per_sample 16 with every kind of format tag: the tag is never read.
    for (std::uint32_t tag : {0u, 1u, 2u, 3u, 6u, 7u, 0x11u, 0x55u, 0xfffeu, 0xffffu}) {
        Bytes s = plain_source();
        set_le16(&s, 20, static_cast<std::uint16_t>(tag));
        run(s, header_, data_, "format tag " + std::to_string(tag));
    }
    // The header file's fields, each at every edge value.
    for (const Field &f : header_fields) {
        if (f.kind == Kind::id) {
            for (const char *id : ids) {
                Bytes h = header_;
                set_id(&h, f, id);
                run(plain_source(), h, data_, std::string("header ") + f.name + " " + id);
            }
            continue;
        }
        const std::vector<std::uint32_t> values =
            f.kind == Kind::size16 ? std::vector<std::uint32_t>(std::begin(sizes16), std::end(sizes16))
                                   : std::vector<std::uint32_t>(std::begin(sizes32), std::end(sizes32));
        // The header file's rate is carried over unread: any value is quick.
        for (std::uint32_t v : values) {
            Bytes h = header_;
            set_field(&h, f, v);
            run(plain_source(), h, data_, std::string("header ") + f.name + " " + std::to_string(v));
        }
    }
}

TEST_F(Corpus, SeededMutations)
{
    std::mt19937 rng(20240611);
    const std::vector<Field> listed = listed_fields();
    for (int i = 0; i < 2500; ++i) {
        Bytes source = i % 2 ? listed_source() : plain_source();
        Bytes header = header_;
        const unsigned where = draw(&rng) % 3; // the source, the header file, or both
        const int count = 1 + static_cast<int>(draw(&rng) % 3);
        for (int k = 0; k < count; ++k) {
            if (where != 1)
                mutate(&source, i % 2 ? listed : header_fields, &rng);
            if (where != 0)
                mutate(&header, header_fields, &rng);
        }
        run(source, header, data_, "mutation " + std::to_string(i));
    }
}

} // namespace

namespace {

// What this corpus and the fuzzers found, each kept as the case that showed it.
TEST(CorpusFindings, RiffSizeThatCannotShrink)
{
    // A header whose riff_size is -2^31: taking the overlap back out of it
    // overflowed. The run is refused and changes nothing.
    TempDir dir;
    const std::string out = dir.path("out"), src = dir.path("src.wav");
    write_file(src, plain_source());
    Bytes header = header_for(40);
    set_le32(&header, 4, 0x80000000);
    write_file(out + ".whd", header);
    write_file(out + ".dat", Bytes(40, 7));
    const RunResult r = run_inprocess({out, src, "0", "10", "0", "0", "0", "100", "100", "100",
                                       "100", "3", "0", "0", "100"});
    EXPECT_EQ(r.status, -1);
    std::string line = msg::riff_range;
    line.replace(line.find("%s"), 2, out + ".whd");
    EXPECT_EQ(r.out, "samples/sec:44100\ninfile_size:116\n" + line);
    EXPECT_EQ(read_file(out + ".whd"), header);
    EXPECT_EQ(read_file(out + ".dat"), Bytes(40, 7));
}

} // namespace
