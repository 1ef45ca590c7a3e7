// What differs between the platforms: the file layer's own branches (length of
// an open stream, cutting it, 64-bit positions) and how a caller sees a run of
// the executables (exit status of -1, line ends of standard output).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "messages.h"
#include "util.h"
#include "wave/file.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace {

// Files of several GiB cost nothing where the file system leaves holes: on
// POSIX systems and under Wine. A Windows file system writes them out.
bool sparse_files()
{
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return true;
#endif
}

Bytes pattern(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>(i * 7 + 1);
    return b;
}

TEST(FileLayer, LengthAndCutOfAnOpenStream)
{
    struct Case {
        const char *what;
        std::size_t size;       // the file's bytes before
        std::int64_t write_at;  // -1: no write
        std::size_t write_len;  // bytes of 0xab written there, left in the stream's buffer
        std::int64_t length;    // what file_length must see then
        std::int64_t cut;
    } cases[] = {
        {"shrink after a write past the old end", 100, 95, 10, 105, 50},
        {"extend with zeros", 10, 0, 5, 10, 4099},
        {"cut to nothing", 10, -1, 0, 10, 0},
        {"a write past the end leaves zeros before it", 10, 20, 4, 24, 24},
        {"same length", 64, 30, 2, 64, 64},
        {"empty file grows", 0, -1, 0, 0, 3},
    };
    TempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.path("f.dat");
        Bytes expect = pattern(c.size);
        write_file(path, expect);
        std::FILE *f = file_open(path.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        if (c.write_at >= 0) {
            const Bytes w(c.write_len, 0xab);
            ASSERT_TRUE(file_seek(f, c.write_at));
            ASSERT_TRUE(file_write(f, w.data(), w.size()));
            const auto at = static_cast<std::size_t>(c.write_at);
            if (expect.size() < at + w.size())
                expect.resize(at + w.size(), 0);
            std::copy(w.begin(), w.end(), expect.begin() + c.write_at);
        }
        std::int64_t length = -1;
        ASSERT_TRUE(file_length(f, &length));
        EXPECT_EQ(length, c.length);
        ASSERT_TRUE(file_cut(f, c.cut));
        ASSERT_TRUE(file_length(f, &length));
        EXPECT_EQ(length, c.cut);
        expect.resize(static_cast<std::size_t>(c.cut), 0);
        // What the stream reads back from the start after the cut.
        Bytes back(expect.size());
        ASSERT_TRUE(file_seek(f, 0));
        EXPECT_TRUE(file_read(f, back.data(), back.size()));
        EXPECT_EQ(back, expect);
        unsigned char extra;
        EXPECT_FALSE(file_read(f, &extra, 1));
        EXPECT_TRUE(file_close(f));
        EXPECT_EQ(read_file(path), expect);
    }
    std::FILE *f = file_open(dir.path("f.dat").c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(file_cut(f, -1));
    EXPECT_TRUE(file_close(f));
}

TEST(FileLayer, PositionsPastFourGiB)
{
    if (!sparse_files())
        GTEST_SKIP() << "the file system would write the whole file";
    TempDir dir;
    const std::string path = dir.path("big.dat");
    write_file(path, pattern(16));
    std::FILE *f = file_open(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    // Past 2^32, at a distance from it that lies inside the pattern: a position
    // cut to its low 32 bits would write over the pattern.
    const std::int64_t big = (std::int64_t{1} << 32) + 12;
    std::int64_t length = -1;
    ASSERT_TRUE(file_cut(f, big));
    ASSERT_TRUE(file_length(f, &length));
    EXPECT_EQ(length, big);
    const unsigned char mark[] = {0xab, 0xcd};
    ASSERT_TRUE(file_seek(f, big - 4));
    ASSERT_TRUE(file_write(f, mark, sizeof mark));
    ASSERT_TRUE(file_write_zeros(f, 3)); // now 1 byte past the old end
    ASSERT_TRUE(file_length(f, &length));
    EXPECT_EQ(length, big + 1);
    unsigned char back[4] = {1, 1, 1, 1};
    ASSERT_TRUE(file_seek(f, big - 5));
    ASSERT_TRUE(file_read(f, back, sizeof back));
    EXPECT_EQ(Bytes(back, back + 4), Bytes({0, 0xab, 0xcd, 0}));
    ASSERT_TRUE(file_cut(f, 16));
    ASSERT_TRUE(file_length(f, &length));
    EXPECT_EQ(length, 16);
    EXPECT_TRUE(file_close(f));
    EXPECT_EQ(read_file(path), pattern(16));
}

TEST(FileLayer, MissingFiles)
{
    TempDir dir;
    write_file(dir.path("here"), {1});
    struct Case {
        std::string path;
        const char *mode;
        bool opens;
        bool missing;
    } cases[] = {
        {dir.path("here"), "rb", true, false},
        {dir.path("here"), "r+b", true, false},
        {dir.path("none"), "rb", false, true},
        {dir.path("none"), "r+b", false, true},
        {dir.path("no/such/folder"), "rb", false, true},
        {dir.path("no/such/folder"), "wb", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path + " " + c.mode);
        std::FILE *f = file_open(c.path.c_str(), c.mode);
        EXPECT_EQ(f != nullptr, c.opens);
        if (f)
            EXPECT_TRUE(file_close(f));
        else
            EXPECT_EQ(file_missing_error(), c.missing);
    }
    EXPECT_TRUE(file_remove(dir.path("here").c_str()));
    EXPECT_FALSE(file_remove(dir.path("here").c_str()));
}

// The exit status and the bytes of standard output as a calling program gets
// them from the executables, and as run_inprocess gets them from the same run.
TEST(Program, StatusAndLineEndsAsTheCallerSeesThem)
{
    TempDir dir;
    // Names with spaces and a character that cmd.exe would take as a command
    // separator outside quotes.
    const std::string folder = dir.path("a b & c");
    std::filesystem::create_directories(folder);
    const std::string out = folder + "/out 1";
    const std::string rate = "samples/sec:44100\n";
    struct Case {
        const char *exe;
        std::vector<std::string> args;
        const char *samples;
        int status; // as the program returned it
        std::string printed;
    } cases[] = {
        {SEGMIX_EXE, {out, "none.wav", "0", "10", "0"}, nullptr, -1, msg::usage},
        {SEGMIX_EXE, {out, "none.wav", "0", "10", "6", "5"}, nullptr, -1, rate + msg::bad_params},
        {SEGMIX_EXE, {out, folder + "/no source.wav", " 0", "10", "0", "0"}, "22050", 0,
         "samples/sec:22050\ninfile_size:36\n"},
        {SEGJOIN_EXE, {}, nullptr, 2, msg::join_usage},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.printed);
        const RunResult r = run_program(c.exe, c.args, c.samples);
        EXPECT_EQ(r.status, c.status == -1 ? exit_failure_status : c.status);
        EXPECT_EQ(r.out, console_text(c.printed));
        EXPECT_EQ(fold_crlf(r.out), c.printed);
        if (c.exe == std::string(SEGMIX_EXE)) {
            const RunResult in = run_inprocess(c.args, c.samples);
            EXPECT_EQ(in.status, c.status);
            EXPECT_EQ(in.out, c.printed);
        }
    }
#ifdef _WIN32
    EXPECT_EQ(exit_failure_status, -1);
    EXPECT_EQ(console_text("a\nb\n"), "a\r\nb\r\n");
#else
    EXPECT_EQ(exit_failure_status, 255);
    EXPECT_EQ(console_text("a\nb\n"), "a\nb\n");
#endif
    EXPECT_EQ(fold_crlf("a\r\nb\r\rc\n\r"), "a\nb\r\rc\n\r");
    // Both runs that passed wrote a fresh header under the quoted name: the
    // program's at 22050 Hz, then run_inprocess's, which appended to it.
    const Bytes h = read_file(out + ".whd");
    ASSERT_EQ(h.size(), 44u);
    EXPECT_EQ(le32_at(h, 24), 22050u);
    EXPECT_TRUE(file_exists(out + ".dat"));
}

} // namespace
