// The tools as a driving program runs them: standard output byte for byte and
// the exit status, of the built executables and of the same runs in process.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "front/run.h"
#include "messages.h"
#include "segmix/segmix.h"
#include "util.h"
#include "version.h"
#include "wave/file.h"

namespace {

const std::string rate = "samples/sec:44100\n";

// Every way a run can end before it reaches the output, and two that complete:
// the messages and the status, the same for the executable and in process. A
// folder name with spaces and a character that cmd.exe would take as a
// command separator outside quotes tests the quoting of the command line.
TEST(Segmix, MessagesAndExitStatus)
{
    TempDir dir;
    const std::string folder = dir.path("a b & c");
    std::filesystem::create_directories(folder);
    const std::string src = folder + "/src.wav", none = folder + "/no source.wav";
    write_file(src, make_wav({1000, 2000, 3000, 4000}));
    WavSpec eight;
    eight.bits = 8;
    write_file(folder + "/eight.wav", make_wav({1, 2}, eight));
    write_file(folder + "/text.wav", text_bytes("hello world!"));
    struct Case {
        std::vector<std::string> args; // after outfile
        const char *samples;
        int status; // as the program returns it
        std::string out;
    } cases[] = {
        {{src, "0", "10", "0"}, nullptr, -1, msg::usage},
        {{src, "0", "100", "60", "41"}, nullptr, -1, rate + msg::bad_params},
        {{src, "0", "100", "60", "41"}, "22050", -1, "samples/sec:22050\n" + std::string(msg::bad_params)},
        {{src, "0", "100", "60", "41"}, "-5", -1, msg::bad_samples},
        {{src, "0", "100", "60", "41"}, "2000000000", -1, msg::bad_samples},
        {{folder + "/text.wav", "0", "10", "0", "0"}, nullptr, -1, rate + msg::not_riff},
        {{folder + "/eight.wav", "0", "10", "0", "0"}, nullptr, -1,
         rate + "infile_size:40\n" + msg::only_16bit},
        {{none, " 0", "10", "0", "0"}, "22050", 0, "samples/sec:22050\ninfile_size:36\n"},
        {{src, "0", "10", "0", "0", "0", "100", "100", "0", "0", "5"}, nullptr, 0,
         rate + "infile_size:44\n"},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.out);
        // The same run twice, on outputs of its own: in process, then as a program.
        std::vector<std::string> in = c.args, ex = c.args;
        const std::string out_in = folder + "/out " + std::to_string(n) + " in";
        const std::string out_ex = folder + "/out " + std::to_string(n++) + " ex";
        in.insert(in.begin(), out_in);
        ex.insert(ex.begin(), out_ex);
        const RunResult r = run_inprocess(in, c.samples);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        const RunResult p = run_program(SEGMIX_EXE, ex, c.samples);
        EXPECT_EQ(p.status, c.status == -1 ? exit_failure_status : c.status);
        EXPECT_EQ(p.out, console_text(c.out));
        EXPECT_EQ(files_of(out_ex), files_of(out_in));
        EXPECT_EQ(file_exists(out_ex + ".whd"), c.status == 0);
    }
    // The missing source at 22050 Hz: 10 ms of silence, 221 samples, under a
    // header at that rate.
    EXPECT_EQ(read_file(folder + "/out 7 ex.whd"), header_for(442, 22050));
}

TEST(Segjoin, JoinsAndNeverDestroys)
{
    TempDir dir;
    const std::string out = dir.path("out"), other = dir.path("other.wav");
    const std::string precious = dir.path("precious.wav");
    const Bytes header = {'R', 'I', 'F', 'F'}, data = {1, 2}, kept = {'k', 'e', 'p', 't'};
    const Bytes joined = {'R', 'I', 'F', 'F', 1, 2};
    struct Case {
        const char *what;
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string wav; // the file that must hold the joined bytes
    } cases[] = {
        {"into outfile itself", {out}, 0, "", out},
        {"into another file", {out, other}, 0, "", other},
        {"no header file", {dir.path("none"), precious}, 1,
         "open failed on " + dir.path("none") + ".whd: No such file or directory\n", ""},
        {"no data file", {dir.path("half"), precious}, 1,
         "open failed on " + dir.path("half") + ".dat: No such file or directory\n", ""},
        {"into the data file", {out, out + ".dat"}, 1, "output is one of the inputs: " + out + ".dat\n", ""},
        {"into the header file", {out, out + ".whd"}, 1, "output is one of the inputs: " + out + ".whd\n", ""},
        {"into a missing folder", {out, dir.path("no/such/dir.wav")}, 1,
         "create failed on " + dir.path("no/such/dir.wav") + ": No such file or directory\n", ""},
        {"no arguments", {}, 2, msg::join_usage, ""},
        {"three arguments", {out, other, "third"}, 2, msg::join_usage, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        write_file(out + ".whd", header);
        write_file(out + ".dat", data);
        write_file(dir.path("half.whd"), header);
        write_file(precious, kept);
        const RunResult r = run_program(SEGJOIN_EXE, c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, console_text(c.out));
        if (!c.wav.empty()) {
            EXPECT_EQ(read_file(c.wav), joined);
        }
        // Whatever failed, the inputs and a file in the output's place are as they were.
        EXPECT_EQ(read_file(out + ".whd"), header);
        EXPECT_EQ(read_file(out + ".dat"), data);
        EXPECT_EQ(read_file(precious), kept);
    }
    EXPECT_FALSE(file_exists(dir.path("third")));
    EXPECT_FALSE(file_exists(dir.path("none")));
    for (const char *name : {"out.tmp", "other.wav.tmp", "precious.wav.tmp"})
        EXPECT_FALSE(file_exists(dir.path(name))) << name;
}

// A run killed in its commit leaves a journal; segjoin undoes it first, and
// joins the output as it was before that run.
TEST(Segjoin, JoinsWhatAKilledRunLeftAsItWas)
{
    TempDir dir;
    const std::string out = dir.path("out"), src = dir.path("src.wav");
    write_file(src, ramp_source());
    ASSERT_EQ(run_inprocess(full_gain_note(out, src, 0, 10)).status, 0);
    const OutputFiles phrase = files_of(out);
    // The note's run fails at its last operation, and every one after it: its
    // journal stays, and the data file holds the note.
    file_fail_at(0);
    ASSERT_EQ(run_inprocess(full_gain_note(out, src, 20, 5, "2")).status, 0);
    const std::int64_t ops = file_ops();
    set_files(out, phrase);
    file_fail_at(ops, true);
    ASSERT_EQ(run_inprocess(full_gain_note(out, src, 20, 5, "2")).status, -1);
    file_fail_at(0);
    ASSERT_TRUE(files_of(out).journal);
    ASSERT_NE(files_of(out), phrase);

    const RunResult r = run_program(SEGJOIN_EXE, {out, dir.path("phrase.wav")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    Bytes whole = *phrase.header;
    whole.insert(whole.end(), phrase.data->begin(), phrase.data->end());
    EXPECT_EQ(read_file(dir.path("phrase.wav")), whole);
    EXPECT_EQ(files_of(out), phrase);
}

// --help and --version, as the only argument, of every tool: printed on
// standard output, status 0, no file made or read. Any other argument list is
// what it always was.
TEST(Tools, HelpAndVersion)
{
    const std::string version = SEGMIX_VERSION;
    struct Case {
        const char *exe;
        std::vector<std::string> args;
        int status;
        std::string starts; // what standard output begins with
        std::string has;    // and holds
    } cases[] = {
        {SEGMIX_EXE, {"--help"}, 0, msg::usage, "Example:\n  segmix "},
        {SEGMIX_EXE, {"-h"}, 0, msg::usage, "Environment: samples"},
        {SEGMIX_EXE, {"--version"}, 0, "segmix " + version + "\n", ""},
        {SEGMIX_EXE, {"-V"}, 0, "segmix " + version + "\n", ""},
        {SEGJOIN_EXE, {"--help"}, 0, msg::join_usage, "Example:\n  segjoin "},
        {SEGJOIN_EXE, {"-V"}, 0, "segjoin " + version + "\n", ""},
        {SEGMIX_BATCH_EXE, {"--help"}, 0, msg::batch_usage, "Example:\n  segmix-batch "},
        {SEGMIX_BATCH_EXE, {"--version"}, 0, "segmix-batch " + version + "\n", ""},
        {SEGMIX_VIEW_EXE, {"--help"}, 0, msg::view_usage, "Example:\n  segmix-view "},
        {SEGMIX_VIEW_EXE, {"-V"}, 0, "segmix-view " + version + "\n", ""},
        // Not the only argument, or not a flag: as before.
        {SEGMIX_EXE, {"--help", "more"}, exit_failure_status, msg::usage, ""},
        {SEGMIX_EXE, {"-x"}, exit_failure_status, msg::usage, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.exe) + " " + c.args[0]);
        const RunResult r = run_program(c.exe, c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.substr(0, console_text(c.starts).size()), console_text(c.starts));
        EXPECT_NE(r.out.find(console_text(c.has)), std::string::npos);
        // Help fits a terminal of 80 columns.
        for (const std::string &line : lines_of(r.out))
            EXPECT_LE(line.size(), 81u) << line;
    }
    for (const char *name : {"--help", "--help.whd", "--help.lock", "-h", "-V", "--version"})
        EXPECT_FALSE(file_exists(name)) << name;
    // The same number in the library and in the package files.
    EXPECT_EQ(std::string(segmix_version()), version);
    const Bytes pc = read_file(SEGMIX_BUILD_DIR "/segmix.pc");
    EXPECT_NE(std::string(pc.begin(), pc.end()).find("Version: " + version + "\n"), std::string::npos);
    const Bytes config = read_file(SEGMIX_BUILD_DIR "/segmix-config-version.cmake");
    EXPECT_NE(std::string(config.begin(), config.end()).find("set(PACKAGE_VERSION \"" + version + "\")"),
              std::string::npos);
    // In process too.
    const RunResult in = run_inprocess({"--version"});
    EXPECT_EQ(in.status, 0);
    EXPECT_EQ(in.out, "segmix " + version + "\n");
}

TEST(RunNote, RunsInProcessWithTheCountsOfItsArguments)
{
    TempDir dir;
    const std::string out = dir.path("out"), src = dir.path("src.wav");
    WavSpec shape;
    shape.sample_rate = 1000;
    write_file(src, make_wav(Samples(100, 10), shape));
    struct Case {
        const char *ovr, *p4, *p5, *v5;
        int status;
        std::uint32_t data_size; // after the run
    } cases[] = {
        // p4 given but ovr empty: count 12, so the long p4 that would break the order is not read.
        {"", "50", nullptr, nullptr, 0, 20},
        // ovr given, p4 empty: count 13, ovr read: -2 ms is -1.5 samples, a gap of 1.
        {"-2", "", nullptr, nullptr, 0, 20 + 2 + 20},
        // Both null: count 13, ovr 0.
        {nullptr, nullptr, nullptr, nullptr, 0, 62},
        // Both given: count 16, so p4 is read and breaks the order.
        {"1", "50", "0", "100", -1, 62},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(run_note(out.c_str(), src.c_str(), "0", "10", "0", "0", "0", "100", "100", "100",
                           "100", c.ovr, c.p4, c.p5, c.v5),
                  c.status);
        EXPECT_EQ(le32_at(read_file(out + ".whd"), 40), c.data_size);
    }
}

} // namespace
