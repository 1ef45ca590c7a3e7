// What differs between the platforms: the file layer's own branches (length of
// an open stream, cutting it, 64-bit positions, missing files).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "util.h"
#include "wave/file.h"

#ifdef _WIN32
#include "win32.h"
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
        Opened o = open_file(path.c_str(), "r+b");
        ASSERT_TRUE(o.file);
        File &f = o.file;
        if (c.write_at >= 0) {
            const Bytes w(c.write_len, 0xab);
            ASSERT_TRUE(f.seek(c.write_at));
            ASSERT_TRUE(f.write(w.data(), w.size()));
            const auto at = static_cast<std::size_t>(c.write_at);
            if (expect.size() < at + w.size())
                expect.resize(at + w.size(), 0);
            std::copy(w.begin(), w.end(), expect.begin() + c.write_at);
        }
        std::int64_t length = -1;
        ASSERT_TRUE(f.length(&length));
        EXPECT_EQ(length, c.length);
        ASSERT_TRUE(f.cut(c.cut));
        ASSERT_TRUE(f.length(&length));
        EXPECT_EQ(length, c.cut);
        expect.resize(static_cast<std::size_t>(c.cut), 0);
        // What the stream reads back from the start after the cut.
        Bytes back(expect.size());
        ASSERT_TRUE(f.seek(0));
        EXPECT_TRUE(f.read(back.data(), back.size()));
        EXPECT_EQ(back, expect);
        unsigned char extra;
        EXPECT_FALSE(f.read(&extra, 1));
        std::size_t got = 1;
        EXPECT_TRUE(f.read_some(&extra, 1, &got)); // the end, which is no error
        EXPECT_EQ(got, 0u);
        EXPECT_TRUE(f.close());
        EXPECT_EQ(read_file(path), expect);
    }
    Opened o = open_file(dir.path("f.dat").c_str(), "r+b");
    ASSERT_TRUE(o.file);
    EXPECT_FALSE(o.file.cut(-1));
    EXPECT_TRUE(o.file.close());
}

TEST(FileLayer, PositionsPastFourGiB)
{
    if (!sparse_files())
        GTEST_SKIP() << "the file system would write the whole file";
    TempDir dir;
    const std::string path = dir.path("big.dat");
    write_file(path, pattern(16));
    Opened o = open_file(path.c_str(), "r+b");
    ASSERT_TRUE(o.file);
    File &f = o.file;
    // Past 2^32, at a distance from it that lies inside the pattern: a position
    // cut to its low 32 bits would write over the pattern.
    const std::int64_t big = (std::int64_t{1} << 32) + 12;
    std::int64_t length = -1;
    ASSERT_TRUE(f.cut(big));
    ASSERT_TRUE(f.length(&length));
    EXPECT_EQ(length, big);
    const unsigned char mark[] = {0xab, 0xcd};
    ASSERT_TRUE(f.seek(big - 4));
    ASSERT_TRUE(f.write(mark, sizeof mark));
    ASSERT_TRUE(f.write_zeros(3)); // now 1 byte past the old end
    ASSERT_TRUE(f.length(&length));
    EXPECT_EQ(length, big + 1);
    unsigned char back[4] = {1, 1, 1, 1};
    ASSERT_TRUE(f.seek(big - 5));
    ASSERT_TRUE(f.read(back, sizeof back));
    EXPECT_EQ(Bytes(back, back + 4), Bytes({0, 0xab, 0xcd, 0}));
    ASSERT_TRUE(f.cut(16));
    ASSERT_TRUE(f.length(&length));
    EXPECT_EQ(length, 16);
    EXPECT_TRUE(f.close());
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
        Opened o = open_file(c.path.c_str(), c.mode);
        EXPECT_EQ(static_cast<bool>(o.file), c.opens);
        EXPECT_EQ(o.missing(), c.missing);
        EXPECT_EQ(o.error != 0, !c.opens);
        if (o.file) {
            EXPECT_TRUE(o.file.close());
        }
    }
    EXPECT_EQ(remove_file(dir.path("here").c_str()), 0);
    EXPECT_TRUE(no_such_file(remove_file(dir.path("here").c_str())));
}

// A device opens, but is not a file: reading it could wait for ever (a
// console) or give nothing (a null device). Named as each system names them.
TEST(FileLayer, DevicesAreNotRegularFiles)
{
#ifdef _WIN32
    const char *const devices[] = {"NUL", "CON", "nul.wav"};
#else
    const char *const devices[] = {"/dev/null", "/dev/zero", "/dev/tty"};
#endif
    for (const char *device : devices) {
        SCOPED_TRACE(device);
        const Opened o = open_file(device, "rb");
        EXPECT_FALSE(o.file);
        // Some (a terminal where there is none) cannot even be opened.
        if (!o.irregular) {
            EXPECT_NE(o.error, 0);
            continue;
        }
        EXPECT_FALSE(o.missing());
        EXPECT_EQ(read_whole_file(device).got, Got::irregular);
    }
    EXPECT_TRUE(open_file(devices[0], "rb").irregular);
    PathKind kind = PathKind::regular;
    EXPECT_EQ(path_kind(devices[0], &kind), 0);
    EXPECT_EQ(kind, PathKind::other);
}

TEST(FileLayer, WholeFiles)
{
    TempDir dir;
    Bytes hundred(100);
    for (std::size_t i = 0; i < hundred.size(); ++i)
        hundred[i] = static_cast<unsigned char>(i * 7);
    write_file(dir.path("f"), hundred);
    write_file(dir.path("empty"), {});
    std::filesystem::create_directory(dir.path("folder"));
    struct Case {
        std::string path;
        Got got;
        Bytes bytes;
    } cases[] = {
        {dir.path("f"), Got::read, hundred},
        {dir.path("empty"), Got::read, {}},
        {dir.path("missing"), Got::missing, {}},
        {dir.path("no/such/folder"), Got::missing, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        const WholeFile w = read_whole_file(c.path.c_str());
        EXPECT_EQ(w.got, c.got);
        EXPECT_EQ(Bytes(w.block.data.get(), w.block.data.get() + w.block.size), c.bytes);
    }
    // A folder opens on some systems and not on others; it is never read.
    const WholeFile folder = read_whole_file(dir.path("folder").c_str());
    EXPECT_TRUE(folder.got == Got::unopenable || folder.got == Got::failed) << static_cast<int>(folder.got);
    EXPECT_NE(folder.op, nullptr);
    EXPECT_NE(folder.error, 0);
}

} // namespace
