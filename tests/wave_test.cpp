// The WAVE header, whole-file loading and the checks on a source.
#include <gtest/gtest.h>

#include <string>

#include "messages.h"
#include "util.h"
#include "wave/binload.h"
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
        int result;
        const char *out;
    } cases[] = {
        {"RIFF\x24\0\0\0WAVE"s, 1, ""},
        {"RIFF\0\0\0\0WAVEfmt "s, 1, ""},
        {"RIFX\0\0\0\0WAVE"s, 0, msg::not_riff}, // big-endian files are not read
        {"riff\0\0\0\0WAVE"s, 0, msg::not_riff}, // the comparison is of bytes
        {"RIFF\0\0\0\0AVI "s, 0, msg::not_wave},
        {"RIFF\0\0\0\0WAV"s, 0, msg::not_wave},  // too short to hold the form type
        {"RIF"s, 0, msg::not_riff},
        {""s, 0, msg::not_riff},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStdout();
        const int r = check_wave(reinterpret_cast<const unsigned char *>(c.bytes.data()), c.bytes.size());
        EXPECT_EQ(r, c.result) << c.bytes;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.bytes;
    }
}

TEST(Binload, LoadsWholeFilesAndCountsOthersMissing)
{
    TempDir dir;
    Bytes hundred(100);
    for (std::size_t i = 0; i < hundred.size(); ++i)
        hundred[i] = static_cast<unsigned char>(i * 7);
    write_file(dir.path("f"), hundred);
    write_file(dir.path("empty"), {});

    Block b;
    testing::internal::CaptureStdout();
    ASSERT_EQ(binload(dir.path("f").c_str(), 10, &b), Load::ok);
    EXPECT_EQ(b.size, 110u);
    EXPECT_EQ(b.loaded, 100u);
    EXPECT_EQ(Bytes(b.data.get(), b.data.get() + 100), hundred);
    EXPECT_EQ(binload(dir.path("missing").c_str(), 0, &b), Load::unopened);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    testing::internal::CaptureStdout();
    EXPECT_EQ(binload(dir.path("empty").c_str(), 0, &b), Load::failed);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), msg::read_binload);
}

struct Loaded {
    bool ok;
    std::string out;
    SourceInfo src;
};

// load_source on a file holding bytes (or on no file at all).
Loaded load(const Bytes *bytes, std::int32_t rate = 44100)
{
    TempDir dir;
    const std::string path = dir.path("src.wav");
    if (bytes)
        write_file(path, *bytes);
    Loaded l;
    testing::internal::CaptureStdout();
    l.ok = load_source(path.c_str(), format_at_rate(rate), &l.src);
    l.out = testing::internal::GetCapturedStdout();
    return l;
}

std::string size_line(int riff_size)
{
    return "infile_size:" + std::to_string(riff_size) + "\n";
}

TEST(LoadSource, MissingOrEmptySourceIsAnEmptyRecording)
{
    const Loaded missing = load(nullptr, 22050);
    EXPECT_TRUE(missing.ok);
    EXPECT_EQ(missing.out, size_line(36));
    EXPECT_EQ(missing.src.sample_rate, 22050);
    EXPECT_EQ(missing.src.channels, 1);
    EXPECT_EQ(missing.src.block_align, 2);
    EXPECT_EQ(missing.src.data_size, 0);

    const Bytes empty;
    const Loaded e = load(&empty);
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(e.out, std::string(msg::read_binload) + size_line(36));
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
        const Loaded l = load(&wav);
        ASSERT_TRUE(l.ok) << c.name << ": " << l.out;
        EXPECT_EQ(l.out, size_line(static_cast<int>(wav.size() - 8))) << c.name;
        EXPECT_EQ(l.src.sample_data, c.sample_data) << c.name;
        EXPECT_EQ(l.src.data_size, 24) << c.name;
        EXPECT_EQ(l.src.bytes_present, 24) << c.name;
        EXPECT_EQ(l.src.channels, c.shape.channels) << c.name;
    }
    // riff_size is printed as a signed value, and not otherwise looked at.
    Bytes wav = make_wav(frames);
    set_le32(&wav, 4, 0xffffffff);
    EXPECT_EQ(load(&wav).out, size_line(-1));
    set_le32(&wav, 4, 0);
    EXPECT_TRUE(load(&wav).ok);
}

TEST(LoadSource, BoundsTheDataByWhatWasLoaded)
{
    const Bytes wav = make_wav({1, 2, 3, 4, 5}, shape([](WavSpec &s) { s.data_size = 1000; }));
    const Loaded l = load(&wav);
    ASSERT_TRUE(l.ok);
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
    const std::string riff = size_line(static_cast<int>(good.size() - 8));
    struct Case {
        const char *name;
        Bytes bytes;
        std::string out;
    } cases[] = {
        {"not RIFF", not_riff, msg::not_riff},
        {"not WAVE", avi, msg::not_wave},
        {"8 bits", make_wav(frames, shape([](WavSpec &s) { s.bits = 8; })), riff + msg::only_16bit},
        {"24 bits", make_wav(frames, shape([](WavSpec &s) { s.bits = 24; })), riff + msg::only_16bit},
        {"shorter than a header", Bytes(good.begin(), good.begin() + 40), riff + msg::source_short},
        {"negative fmt_size", with(16, 0xfffffff0, true), riff + msg::bad_fmt_size},
        {"huge fmt_size", with(16, 0x7fffffff, true), riff + msg::bad_fmt_size},
        {"fmt_size past the end", with(16, 30, true), riff + msg::bad_fmt_size},
        {"no data chunk", no_data, riff + msg::no_data},
        {"chunk size past the end", looping, riff + msg::no_data},
        {"block_align 0", with(32, 0, false), riff + msg::bad_block_align},
        {"stereo in 2 bytes", with(22, 2, false), riff + msg::bad_block_align},
        {"channels 0 in 1 byte", [&] { Bytes b = with(22, 0, false); set_le16(&b, 32, 1); return b; }(), riff + msg::bad_block_align},
    };
    for (const Case &c : cases) {
        const Loaded l = load(&c.bytes);
        EXPECT_FALSE(l.ok) << c.name;
        EXPECT_EQ(l.out, c.out) << c.name;
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
    EXPECT_EQ(find_data_chunk(b.data(), b.size(), 0), 12);
    EXPECT_EQ(find_data_chunk(b.data(), b.size() - 1, 0), -1); // head cut short
    EXPECT_EQ(find_data_chunk(b.data(), b.size(), 13), -1);
    EXPECT_EQ(find_data_chunk(b.data(), b.size(), -4), -1);
}

} // namespace
