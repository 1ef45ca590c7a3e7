// Names of any script: sources, outputs and folders with Japanese, accented
// and emoji names through segmix, segmix-batch and segjoin as programs. The
// files are those that the same notes give under plain names, and a message
// prints a name as a program reading the tool's output gave it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "util.h"

#ifdef _WIN32
#include "win32.h"
#endif

namespace {

namespace fs = std::filesystem;

// "声の", "dé 🎵", "出力 é🎵", "フレーズ.wav" and "声.wav" in UTF-8.
const std::string folder_name = "\xE5\xA3\xB0\xE3\x81\xAE/d\xC3\xA9 \xF0\x9F\x8E\xB5";
const std::string out_name = "\xE5\x87\xBA\xE5\x8A\x9B \xC3\xA9\xF0\x9F\x8E\xB5";
const std::string wav_name = "\xE3\x83\x95\xE3\x83\xAC\xE3\x83\xBC\xE3\x82\xBA.wav";
const std::string src_name = "\xE5\xA3\xB0.wav";

// A name as the tools print it on a pipe: the ANSI code page on Windows
// ('?' for what it lacks), the name's bytes elsewhere.
std::string as_printed(const std::string &utf8)
{
#ifdef _WIN32
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    const int m = WideCharToMultiByte(CP_ACP, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(m), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), n, ansi.data(), m, nullptr, nullptr);
    return ansi;
#else
    return utf8;
#endif
}

const std::vector<std::string> notes[] = {
    {"0", "40", "5", "5"},
    {"100", "30", "3", "3", "0", "100", "90", "80", "70", "8"},
};

TEST(Unicode, NamesOfAnyScript)
{
    TempDir dir;
    const std::string folder = dir.path(folder_name);
    fs::create_directories(utf8_path(folder));
    const std::string src = dir.path(src_name), plain_src = dir.path("plain.wav");
    write_file(src, ramp_source());
    write_file(plain_src, ramp_source());

    // The notes under plain names, in process: what the names must not change.
    const std::string plain = dir.path("plain");
    for (const std::vector<std::string> &n : notes) {
        std::vector<std::string> args = {plain, plain_src};
        args.insert(args.end(), n.begin(), n.end());
        ASSERT_EQ(run_inprocess(args).status, 0);
    }
    const OutputFiles expected = files_of(plain);

    // One note a process, then the same through a batch file (with a
    // byte-order mark, as editors on Windows save one), then the join.
    const std::string out = folder + "/" + out_name;
    for (const std::vector<std::string> &n : notes) {
        std::vector<std::string> args = {out, src};
        args.insert(args.end(), n.begin(), n.end());
        const RunResult r = run_program(SEGMIX_EXE, args);
        EXPECT_EQ(r.status, 0) << r.out;
    }
    EXPECT_EQ(files_of(out), expected);

    const std::string batched = folder + "/b " + out_name;
    std::string lines = "\xEF\xBB\xBF";
    for (const std::vector<std::string> &n : notes) {
        lines += "'" + batched + "' '" + src + "'";
        for (const std::string &w : n)
            lines += " " + w;
        lines += "\n";
    }
    const std::string list = folder + "/" + "\xE9\x9F\xB3\xE7\xAC\xA6.txt"; // 音符.txt
    write_file(list, text_bytes(lines));
    const RunResult b = run_program(SEGMIX_BATCH_EXE, {list});
    EXPECT_EQ(b.status, 0) << b.out;
    EXPECT_EQ(files_of(batched), expected);

    const std::string wav = folder + "/" + wav_name;
    const RunResult j = run_program(SEGJOIN_EXE, {out, wav});
    EXPECT_EQ(j.status, 0) << j.out;
    Bytes whole = *expected.header;
    whole.insert(whole.end(), expected.data->begin(), expected.data->end());
    EXPECT_EQ(read_file(wav), whole);

    // A message names the file as the caller gave it.
    const std::string missing = folder + "/\xE3\x81\xAA\xE3\x81\x84/" + out_name; // ない/
    const RunResult m = run_program(SEGMIX_EXE, {missing, src, "0", "10", "0", "0"});
    EXPECT_EQ(m.status, exit_failure_status);
    EXPECT_NE(m.out.find("cannot create files for the output: " + as_printed(missing) + ": "),
              std::string::npos)
        << m.out;
}

#ifdef _WIN32
// A batch file written in the ANSI code page by an older program: a line
// that is not UTF-8 is read in that code page.
TEST(Unicode, BatchLinesInTheAnsiCodePage)
{
    TempDir dir;
    // A name the code page holds: Japanese in code page 932, accented letters
    // in the others.
    const std::string name = GetACP() == 932 ? "\xE5\xA3\xB0" : "caf\xC3\xA9"; // 声, café
    const std::string src = dir.path(name + ".wav");
    write_file(src, ramp_source());
    const std::string out = dir.path("out");
    const std::string line = "'" + out + "' '" + src + "' 0 40 5 5\n";
    write_file(dir.path("ansi.txt"), text_bytes(as_printed(line)));
    ASSERT_NE(as_printed(line), line) << "the ANSI line must differ from the UTF-8 one";
    const RunResult r = run_program(SEGMIX_BATCH_EXE, {dir.path("ansi.txt")});
    EXPECT_EQ(r.status, 0);
    // Rendered from the source, not as the silence of a missing one.
    const std::string plain = dir.path("plain");
    write_file(dir.path("plain.wav"), ramp_source());
    ASSERT_EQ(run_inprocess({plain, dir.path("plain.wav"), "0", "40", "5", "5"}).status, 0);
    EXPECT_EQ(files_of(out), files_of(plain));
}
#endif

} // namespace
