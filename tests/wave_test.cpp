// The WAVE header, whole-file loading and the checks on a source.
#include <gtest/gtest.h>

#include <filesystem>
#include <span>
#include <string>

#include "messages.h"
#include "util.h"
#include "wave/binload.h"
#include "wave/journal.h"
#include "wave/header.h"
#include "wave/source.h"

using namespace std::string_literals;

namespace {

// A WavSpec with some fields changed: shape([](WavSpec &s) { s.bits = 8; }).
template <class Edit>
WavSpec shape(Edit edit)
{
    WavSpec s;
    edit(s);
    return s;
}


TEST(Header, DefaultFormatAndFreshHeader)
{
    const Bytes stored = {0x66, 0x6d, 0x74, 0x20, 0x10, 0, 0, 0, 1, 0, 1, 0,
                          0,    0,    0,    0,    0,    0, 0, 0, 2, 0, 16, 0};
    EXPECT_EQ(Bytes(default_format.begin(), default_format.end()), stored);

    unsigned char h[header_bytes];
    EXPECT_EQ(fill_header(h, format_at_rate(44100), 36, 0), h + header_bytes);
    EXPECT_EQ(Bytes(h, h + header_bytes), header_for(0, 44100));
    fill_header(h, format_at_rate(22050), 36 + 8, 8);
    EXPECT_EQ(Bytes(h, h + header_bytes), header_for(8, 22050));

    const WaveHeader w = read_header(h);
    EXPECT_EQ(w.riff_size, 44);
    EXPECT_EQ(w.sample_rate, 22050);
    EXPECT_EQ(w.avg_bytes_per_sec, 44100);
    EXPECT_EQ(w.block_align, 2);
    EXPECT_EQ(w.data_size, 8);
}

TEST(Header, CheckWave)
{
    struct Case {
        std::string bytes;
        Code result;
    } cases[] = {
        {"RIFF\x24\0\0\0WAVE"s, Code::ok},
        {"RIFF\0\0\0\0WAVEfmt "s, Code::ok},
        {"RIFX\0\0\0\0WAVE"s, Code::not_riff}, // big-endian files are not read
        {"riff\0\0\0\0WAVE"s, Code::not_riff}, // the comparison is of bytes
        {"RIFF\0\0\0\0AVI "s, Code::not_wave},
        {"RIFF\0\0\0\0WAV"s, Code::not_wave},  // too short to hold the form type
        {"RIF"s, Code::not_riff},
        {""s, Code::not_riff},
    };
    for (const Case &c : cases) {
        const Bytes b = text_bytes(c.bytes);
        EXPECT_EQ(check_wave(b), c.result) << c.bytes;
    }
}

TEST(Binload, LoadsWholeFilesAndCountsOthersMissing)
{
    TempDir dir;
    const Bytes hundred(100, 7);
    write_file(dir.path("f"), hundred);
    write_file(dir.path("empty"), {});
    std::filesystem::create_directory(dir.path("folder"));
    struct Case {
        std::string path;
        Load load;
        Report report;
    } cases[] = {
        {dir.path("f"), Load::ok, {}},
        {dir.path("missing"), Load::missing, {}},
        {dir.path("empty"), Load::failed, report(Code::read_binload)}, // an item of zero bytes is not read
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        const Loaded l = binload(c.path.c_str());
        EXPECT_EQ(l.load, c.load);
        EXPECT_EQ(l.report.code, c.report.code);
        EXPECT_EQ(l.block.size, c.load == Load::ok ? 100u : 0u);
    }
    const Loaded f = binload(dir.path("f").c_str());
    EXPECT_EQ(Bytes(f.block.bytes().begin(), f.block.bytes().end()), hundred);
    // A folder is there, and is not taken for a missing file.
    const Loaded folder = binload(dir.path("folder").c_str());
    EXPECT_EQ(folder.load, Load::error);
    EXPECT_EQ(folder.report.code, Code::file_failed);
    EXPECT_EQ(folder.report.file, dir.path("folder"));
}

struct Source {
    SourceLoad said;
    SourceInfo src;
};

// load_source on a file holding bytes (or on no file at all).
Source load(const Bytes *bytes, std::int32_t rate = 44100)
{
    TempDir dir;
    const std::string path = dir.path("src.wav");
    if (bytes)
        write_file(path, *bytes);
    Source l;
    l.said = load_source(path.c_str(), format_at_rate(rate), &l.src);
    return l;
}

TEST(LoadSource, MissingOrEmptySourceIsAnEmptyRecording)
{
    const Source missing = load(nullptr, 22050);
    EXPECT_FALSE(missing.said.notice);
    EXPECT_FALSE(missing.said.check.refusal);
    EXPECT_TRUE(missing.said.check.sized);
    EXPECT_EQ(missing.said.check.riff_size, 36);
    EXPECT_EQ(missing.src.sample_rate, 22050);
    EXPECT_EQ(missing.src.channels, 1);
    EXPECT_EQ(missing.src.block_align, 2);
    EXPECT_EQ(missing.src.data_size, 0);

    const Bytes empty;
    const Source e = load(&empty);
    EXPECT_EQ(e.said.notice.code, Code::read_binload);
    EXPECT_FALSE(e.said.check.refusal);
    EXPECT_EQ(e.said.check.riff_size, 36);
    EXPECT_EQ(e.src.sample_rate, 44100);
}

TEST(LoadSource, AcceptsWhatDeclaresSixteenBits)
{
    const std::vector<std::int16_t> frames = {1, -2, 3, -4, 5, -6, 7, -8, 9, -10, 11, -12};
    Bytes list;
    append_id(&list, "LIST");
    append_le32(&list, 5); // an odd size: the body is padded to 6
    list.insert(list.end(), {'a', 'b', 'c', 'd', 'e', 0});
    Bytes fact;
    append_id(&fact, "fact");
    append_le32(&fact, 4);
    append_le32(&fact, 12);
    struct Case {
        const char *name;
        WavSpec shape;
        std::size_t sample_data;
    } cases[] = {
        {"plain", {}, 44},
        {"float tag", shape([](WavSpec &s) { s.format_tag = 3; }), 44},
        {"six channels", shape([](WavSpec &s) { s.channels = 6; }), 44},
        {"fmt_size 18", shape([](WavSpec &s) { s.fmt_size = 18; }), 46},
        {"LIST then fact before data", shape([&](WavSpec &s) { s.before_data = list; s.before_data.insert(s.before_data.end(), fact.begin(), fact.end()); }), 44 + 14 + 12},
    };
    for (const Case &c : cases) {
        const Bytes wav = make_wav(frames, c.shape);
        const Source l = load(&wav);
        ASSERT_FALSE(l.said.check.refusal) << c.name << ": " << static_cast<int>(l.said.check.refusal.code);
        EXPECT_EQ(l.said.check.riff_size, static_cast<int>(wav.size() - 8)) << c.name;
        EXPECT_EQ(l.src.sample_data, c.sample_data) << c.name;
        EXPECT_EQ(l.src.data_size, 24) << c.name;
        EXPECT_EQ(l.src.bytes_present, 24) << c.name;
        EXPECT_EQ(l.src.channels, c.shape.channels) << c.name;
    }
    // riff_size is printed as a signed value, and not otherwise looked at.
    Bytes wav = make_wav(frames);
    set_le32(&wav, 4, 0xffffffff);
    EXPECT_EQ(load(&wav).said.check.riff_size, -1);
    set_le32(&wav, 4, 0);
    EXPECT_FALSE(load(&wav).said.check.refusal);
}

TEST(LoadSource, BoundsTheDataByWhatWasLoaded)
{
    const Bytes wav = make_wav({1, 2, 3, 4, 5}, shape([](WavSpec &s) { s.data_size = 1000; }));
    const Source l = load(&wav);
    ASSERT_FALSE(l.said.check.refusal);
    EXPECT_EQ(l.src.data_size, 1000);
    EXPECT_EQ(l.src.bytes_present, 10);
}

TEST(LoadSource, Refusals)
{
    const std::vector<std::int16_t> frames = {1, 2, 3, 4};
    const Bytes good = make_wav(frames);
    auto with = [&](std::size_t at, std::uint32_t v, bool wide) {
        Bytes b = good;
        if (wide)
            set_le32(&b, at, v);
        else
            set_le16(&b, at, static_cast<std::uint16_t>(v));
        return b;
    };
    Bytes not_riff = good;
    not_riff[3] = 'X';
    Bytes avi = good;
    std::copy_n("AVI ", 4, avi.begin() + 8);
    Bytes no_data = good;
    std::copy_n("junk", 4, no_data.begin() + 36);
    Bytes looping = good; // a chunk whose size runs past the end
    std::copy_n("junk", 4, looping.begin() + 36);
    set_le32(&looping, 40, 0xffffffff);
    struct Case {
        const char *name;
        Bytes bytes;
        bool sized; // its riff_size is printed before the refusal
        Code refusal;
    } cases[] = {
        {"not RIFF", not_riff, false, Code::not_riff},
        {"not WAVE", avi, false, Code::not_wave},
        {"8 bits", make_wav(frames, shape([](WavSpec &s) { s.bits = 8; })), true, Code::only_16bit},
        {"24 bits", make_wav(frames, shape([](WavSpec &s) { s.bits = 24; })), true, Code::only_16bit},
        {"shorter than a header", Bytes(good.begin(), good.begin() + 40), true, Code::source_short},
        {"negative fmt_size", with(16, 0xfffffff0, true), true, Code::bad_fmt_size},
        {"huge fmt_size", with(16, 0x7fffffff, true), true, Code::bad_fmt_size},
        {"fmt_size past the end", with(16, 30, true), true, Code::bad_fmt_size},
        {"no data chunk", no_data, true, Code::no_data},
        {"chunk size past the end", looping, true, Code::no_data},
        {"block_align 0", with(32, 0, false), true, Code::bad_block_align},
        {"stereo in 2 bytes", with(22, 2, false), true, Code::bad_block_align},
        {"channels 0 in 1 byte", [&] { Bytes b = with(22, 0, false); set_le16(&b, 32, 1); return b; }(), true, Code::bad_block_align},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Source l = load(&c.bytes);
        EXPECT_EQ(l.said.check.refusal.code, c.refusal);
        EXPECT_EQ(l.said.check.sized, c.sized);
        if (c.sized) {
            EXPECT_EQ(l.said.check.riff_size, 36 + 8);
        }
    }
}

TEST(FindDataChunk, WalksInsideTheBlock)
{
    Bytes b;
    append_id(&b, "junk");
    append_le32(&b, 3); // padded to 4
    b.insert(b.end(), {1, 2, 3, 0});
    append_id(&b, "data");
    append_le32(&b, 0);
    const std::span<const unsigned char> all(b);
    EXPECT_EQ(find_data_chunk(all, 0), 12);
    EXPECT_EQ(find_data_chunk(all.first(b.size() - 1), 0), -1); // head cut short
    EXPECT_EQ(find_data_chunk(all, 13), -1);
    EXPECT_EQ(find_data_chunk(all, -4), -1);
}

} // namespace

namespace {

// A journal holds the old header file whole; one that a later run could not
// read back (2 GiB or more) is refused before anything is written.
TEST(Journal, NeverLargerThanARunCanReadBack)
{
    TempDir dir;
    const std::string name = dir.path("out.jnl");
    Journal j;
    j.header_existed = true;
    j.header_length = INT32_MAX - 60; // with the 76 bytes of its own, past 2 GiB
    EXPECT_EQ(write_journal(name, j).code, Code::journal_large);
    EXPECT_FALSE(file_exists(name));
    EXPECT_FALSE(file_exists(journal_scratch(name)));
    // One that fits is written whole and named, and its scratch name is gone.
    const unsigned char old[4] = {1, 2, 3, 4};
    j.header_length = 4;
    j.header_old = old;
    EXPECT_FALSE(write_journal(name, j));
    EXPECT_EQ(read_file(name).size(), 72u + 4 + 4);
    EXPECT_FALSE(file_exists(journal_scratch(name)));
    // The name is never taken from a file already there.
    EXPECT_EQ(write_journal(name, j).code, Code::file_failed);
}

} // namespace
