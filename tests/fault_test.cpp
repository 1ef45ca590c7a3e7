// File operations that fail: every operation of a run made to fail in turn
// through the file layer's fault injection, then the same on the real system
// (a full file size limit, missing and misplaced folders). A run that fails
// ends with -1 and one line naming the operation and the file, and leaves both
// output files as they were; where even putting them back fails, the next run
// puts them back.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "util.h"
#include "wave/file.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#endif

namespace fs = std::filesystem;

namespace {

using Files = OutputFiles;

// The output of a failed run: a leading part of what the run prints when
// nothing fails, then one line naming the operation and one of the run's
// files, and why.
::testing::AssertionResult one_failure_line(const std::string &out, const std::string &clean,
                                            const std::vector<std::string> &names)
{
    const std::vector<std::string> got = lines_of(out), want = lines_of(clean);
    if (got.empty() || out.back() != '\n')
        return ::testing::AssertionFailure() << "no closing line: " << out;
    for (std::size_t i = 0; i + 1 < got.size(); ++i)
        if (i >= want.size() || got[i] != want[i])
            return ::testing::AssertionFailure() << "unexpected line: " << got[i];
    const std::string &last = got.back();
    const std::size_t at = last.find(" failed on ");
    static const std::vector<std::string> ops = {"open", "read",  "write",  "seek", "size",
                                                 "cut",  "flush", "close", "remove", "undo", "rename"};
    if (at == std::string::npos || std::find(ops.begin(), ops.end(), last.substr(0, at)) == ops.end())
        return ::testing::AssertionFailure() << "not a failure line: " << last;
    // The file, and the system's reason after a colon (not for undo, which
    // tells the whole of putting back).
    const std::string rest = last.substr(at + 11);
    for (const std::string &n : names)
        if (rest == n || (rest.size() > n.size() + 2 && rest.compare(0, n.size() + 2, n + ": ") == 0))
            return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "names no file of the run: " << got.back();
}

// Whether a header, if there is a whole one, counts no byte the data file lacks.
bool header_within_data(const Files &f)
{
    if (!f.header || f.header->size() < 44)
        return true; // none, or a fresh one cut short: it counts nothing
    const std::uint32_t data_size = le32_at(*f.header, 40);
    const std::size_t length = f.data ? f.data->size() : 0;
    return data_size <= 0x7fffffff && data_size <= length;
}

struct Note {
    int offset, length;
    const char *ovr;
};

class FaultPhrase {
public:
    FaultPhrase() : out_(dir_.path("out")), src_(dir_.path("src.wav")) { write_file(src_, ramp_source()); }

    std::vector<std::string> args(const Note &n) const
    {
        return full_gain_note(out_, src_, n.offset, n.length, n.ovr);
    }

    RunResult run(const Note &n) const { return run_inprocess(args(n)); }

    // The files a run may name when an operation fails.
    std::vector<std::string> names() const
    {
        return {out_ + ".whd", out_ + ".dat", out_ + ".jnl", out_ + ".jnl.tmp", out_ + ".lock", src_};
    }

    const std::string &src() const { return src_; }
    std::string dir_path(const std::string &name) const { return dir_.path(name); }

    const std::string &out() const { return out_; }

private:
    TempDir dir_;
    std::string out_, src_;
};

struct Tally {
    int runs = 0, failed = 0, harmless = 0;
    std::int64_t fewest = INT64_MAX, most = 0; // operations of one clean run
};

// Fails each file operation of the note's run in turn, on the output as it is
// now, and leaves the output as the note's run without faults leaves it.
void fail_each_operation(const FaultPhrase &ph, const Note &note, Tally *tally)
{
    const Files before = files_of(ph.out());
    file_fail_at(0);
    const RunResult clean = ph.run(note);
    const std::int64_t ops = file_ops();
    tally->fewest = std::min(tally->fewest, ops);
    tally->most = std::max(tally->most, ops);
    ASSERT_EQ(clean.status, 0) << clean.out;
    const Files after = files_of(ph.out());
    ASSERT_FALSE(after.journal);

    for (std::int64_t n = 1; n <= ops; ++n) {
        SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(ops));
        // Only the n-th operation fails: what follows it, putting back included, works.
        set_files(ph.out(), before);
        file_fail_at(n);
        const RunResult r = ph.run(note);
        file_fail_at(0);
        ++tally->runs;
        if (r.status == 0) {
            // A failure that loses nothing, as closing a file only read.
            ++tally->harmless;
            EXPECT_EQ(r.out, clean.out);
            EXPECT_EQ(files_of(ph.out()), after);
        } else {
            ++tally->failed;
            EXPECT_EQ(r.status, -1);
            EXPECT_TRUE(one_failure_line(r.out, clean.out, ph.names()));
            EXPECT_EQ(files_of(ph.out()), before);
        }

        // The n-th operation and every one after it fail, putting back included.
        set_files(ph.out(), before);
        file_fail_at(n, true);
        const RunResult dead = ph.run(note);
        file_fail_at(0);
        ++tally->runs;
        EXPECT_EQ(dead.status, -1);
        EXPECT_TRUE(one_failure_line(dead.out, clean.out, ph.names())) << dead.out;
        if (header_within_data(before)) {
            EXPECT_TRUE(header_within_data(files_of(ph.out())));
        }
        // The next run finds the output as the failed run left it, puts it back
        // from the journal, and renders its note as if nothing had happened.
        const RunResult next = ph.run(note);
        ++tally->runs;
        EXPECT_EQ(next.status, 0);
        EXPECT_EQ(next.out, clean.out);
        EXPECT_EQ(files_of(ph.out()), after);
    }
    set_files(ph.out(), after);
}

TEST(Faults, EveryOperationOfEveryRunFails)
{
    const std::vector<Note> phrase = {
        {0, 10, "0"},    // the first note: a fresh header, a new data file
        {100, 10, "3"},  // an overlap into the earlier note
        {200, 4, "-3"},  // a gap of silence
        {300, 4, "6"},   // an overlap longer than the note: the sizes stay
        {400, 10, "100"} // an overlap longer than the whole output
    };
    struct Start {
        const char *name;
        Files files;
        std::vector<Note> notes;
    } starts[] = {
        {"a phrase from nothing", {}, phrase},
        {"a data file without a header file", {std::nullopt, Bytes{1, 0, 2, 0}}, {{0, 5, "2"}}},
        {"an empty header file", {Bytes{}, Bytes{1, 0, 2, 0}}, {{0, 5, "0"}}},
        {"a header file without a data file", {header_for(20), std::nullopt}, {{0, 5, "2"}}},
        {"a header file longer than 44 bytes",
         {[] { Bytes h = header_for(4); h.resize(50, 'x'); return h; }(), Bytes{1, 0, 2, 0, 3, 0, 4, 0}},
         {{0, 5, "1"}}},
    };
    Tally tally;
    for (const Start &s : starts) {
        SCOPED_TRACE(s.name);
        FaultPhrase ph;
        set_files(ph.out(), s.files);
        for (std::size_t i = 0; i < s.notes.size(); ++i) {
            SCOPED_TRACE("note " + std::to_string(i));
            fail_each_operation(ph, s.notes[i], &tally);
        }
    }
    std::printf("%d faulty runs (each run's %lld to %lld operations in turn): %d refused, %d harmless\n",
                tally.runs, static_cast<long long>(tally.fewest), static_cast<long long>(tally.most),
                tally.failed, tally.harmless);
}

// Journals that do not describe a run to undo, and files at the journal's
// name that are not journals: one whose output was replaced since is reported
// and dropped, and the replaced files left alone; a file there that is not a
// whole journal of this tool's is never touched, and the output with it; a
// journal that a killed run left under its scratch name changed nothing.
TEST(Faults, JournalsThatDoNotApply)
{
    FaultPhrase ph;
    ASSERT_EQ(ph.run({0, 10, "0"}).status, 0);
    const Files phrase = files_of(ph.out());
    const Note note = {20, 4, "2"};
    file_fail_at(0);
    const RunResult clean = ph.run(note);
    const Files noted = files_of(ph.out());
    const std::int64_t ops = file_ops();
    set_files(ph.out(), phrase);
    // Every operation from the last on fails: the run's journal stays behind.
    file_fail_at(ops, true);
    ASSERT_EQ(ph.run(note).status, -1);
    file_fail_at(0);
    ASSERT_TRUE(fs::exists(ph.out() + ".jnl"));
    const Bytes journal = read_file(ph.out() + ".jnl");
    Bytes wrong_sum = journal;
    wrong_sum[40] ^= 1;
    const std::string head = lines_of(clean.out)[0] + "\n" + lines_of(clean.out)[1] + "\n";
    const std::string jnl = ph.out() + ".jnl";
    struct Case {
        const char *name;
        Bytes journal;
        Files files; // the output the journal is found with
        int status;
        std::string printed;
    } cases[] = {
        {"for files since replaced", journal, {std::nullopt, Bytes{5, 0, 6, 0}}, 0,
         head + "journal does not fit the output, removed: " + jnl + "\n"},
        {"the start of a journal", Bytes(journal.begin(), journal.begin() + 30), phrase, -1,
         head + "not a journal, remove it to go on: " + jnl + "\n"},
        {"an empty file", {}, phrase, -1, head + "not a journal, remove it to go on: " + jnl + "\n"},
        {"a journal with a wrong checksum", wrong_sum, phrase, -1,
         head + "not a journal, remove it to go on: " + jnl + "\n"},
        {"notes of the user's", text_bytes("notes\n"), phrase, -1,
         head + "not a journal, remove it to go on: " + jnl + "\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        set_files(ph.out(), c.files);
        write_file(jnl, c.journal);
        const RunResult r = ph.run(note);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.printed);
        if (c.status != 0) {
            // Never removed, and the output left as it was.
            EXPECT_EQ(read_file(jnl), c.journal);
            fs::remove(jnl);
            EXPECT_EQ(files_of(ph.out()), c.files);
            continue;
        }
        EXPECT_FALSE(fs::exists(jnl));
        // What the note would make of those files without any journal.
        const Files after = files_of(ph.out());
        set_files(ph.out(), c.files);
        ASSERT_EQ(ph.run(note).status, 0);
        EXPECT_EQ(files_of(ph.out()), after);
    }
    // A run killed while it wrote its journal left only the scratch file.
    set_files(ph.out(), phrase);
    write_file(jnl + ".tmp", Bytes(journal.begin(), journal.begin() + 50));
    const RunResult r = ph.run(note);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, clean.out);
    EXPECT_EQ(files_of(ph.out()), noted);
    EXPECT_FALSE(fs::exists(jnl + ".tmp"));
}

// A folder that takes no new file (read-only, or not this user's): every
// operation of a note's run denied in turn. Where the denied one is the
// making of a file beside the output (its lock, its journal), the line names
// the output and says why, for that is what a person must fix.
TEST(Faults, FolderThatTakesNoNewFile)
{
    FaultPhrase ph;
    ASSERT_EQ(ph.run({0, 10, "0"}).status, 0);
    const Files before = files_of(ph.out());
    file_fail_at(0);
    const RunResult clean = ph.run({20, 4, "2"});
    const std::int64_t ops = file_ops();
    const std::string denied = "cannot create files for the output: " + ph.out() + ": Permission denied";
    int named_the_output = 0;
    for (std::int64_t n = 1; n <= ops; ++n) {
        SCOPED_TRACE("operation " + std::to_string(n));
        set_files(ph.out(), before);
        file_fail_at(n, false, EACCES);
        const RunResult r = ph.run({20, 4, "2"});
        file_fail_at(0);
        EXPECT_EQ(r.status, -1);
        EXPECT_EQ(files_of(ph.out()), before);
        const std::vector<std::string> lines = lines_of(r.out);
        ASSERT_FALSE(lines.empty());
        if (lines.back() == denied)
            ++named_the_output;
        else
            EXPECT_TRUE(one_failure_line(r.out, clean.out, ph.names()));
    }
    EXPECT_EQ(named_the_output, 2); // the lock file, and the journal
}

// Places where the system itself refuses: the run stops before it changes
// anything, with one line naming the file.
TEST(Faults, FoldersInTheWay)
{
    FaultPhrase ph;
    ASSERT_EQ(ph.run({0, 10, "0"}).status, 0);
    const Files before = files_of(ph.out());
    const RunResult clean = ph.run({20, 4, "2"});
    set_files(ph.out(), before);
    struct Case {
        const char *name;
        const char *folder; // made where a file of the output should be
        bool failed_op;     // the line names a failed operation, else it says what is there
    } cases[] = {
        {"the data file is a folder", ".dat", true},
        {"the header file is a folder", ".whd", true},
        {"the journal is a folder", ".jnl", true},
        {"the lock file is a folder", ".lock", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = ph.out() + c.folder;
        fs::remove(path);
        fs::create_directory(path);
        const RunResult r = ph.run({20, 4, "2"});
        EXPECT_EQ(r.status, -1);
        if (c.failed_op)
            EXPECT_TRUE(one_failure_line(r.out, clean.out, ph.names()));
        else
            EXPECT_EQ(r.out, lines_of(clean.out)[0] + "\n" + lines_of(clean.out)[1] +
                                 "\nnot a regular file: " + path + "\n");
        EXPECT_TRUE(fs::is_directory(path));
        fs::remove(path);
        set_files(ph.out(), before);
    }
    // An outfile in a folder that does not exist: nothing is made anywhere,
    // and the line names the output, not a file of its own.
    const std::string missing = ph.out() + "-none/out";
    const RunResult r = run_inprocess({missing, ph.src(), "0", "4", "0", "0"});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.out, "samples/sec:44100\ninfile_size:2036\ncannot create files for the output: " +
                         missing + ": No such file or directory\n");
    EXPECT_FALSE(fs::exists(ph.out() + "-none"));
    EXPECT_EQ(files_of(ph.out()), before);
}

#ifndef _WIN32
struct ChildResult {
    int status = -1000; // the exit status, or -1000 when a signal ended it
    int signal = 0;     // the signal that ended it
    bool stuck = false; // it was still running at the deadline, and was killed
    std::string out;    // what it printed, when not sent elsewhere
    double seconds = 0;
};

// Runs the segmix executable with args in a child process, after setup()
// there (limits, signals); its standard output goes to stdout_fd when given,
// else to a capture. A child still running after deadline seconds is killed.
ChildResult run_child(const std::vector<std::string> &args, const std::function<void()> &setup,
                      int stdout_fd = -1, double deadline = 10)
{
    const Capture out;
    const Argv argv(args, SEGMIX_EXE);
    std::vector<const char *> v(argv.argv(), argv.argv() + argv.argc());
    v.push_back(nullptr);
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(stdout_fd >= 0 ? stdout_fd : fileno(out.file()), STDOUT_FILENO);
        setup();
        execv(SEGMIX_EXE, const_cast<char *const *>(v.data()));
        _exit(127);
    }
    ChildResult r;
    int w = 0;
    while (waitpid(pid, &w, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::duration<double>(deadline)) {
            r.stuck = true;
            kill(pid, SIGKILL);
            waitpid(pid, &w, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (WIFEXITED(w))
        r.status = WEXITSTATUS(w);
    else if (WIFSIGNALED(w))
        r.signal = WTERMSIG(w);
    if (stdout_fd < 0)
        r.out = out.text();
    return r;
}

// The file size limit (ulimit -f) reached while a run writes: SIGXFSZ, in its
// default disposition, must not end the run halfway through its commit; the
// write fails, and the run puts both files back.
TEST(Faults, FileSizeLimit)
{
    FaultPhrase ph;
    // 200 samples: a data file of 400 bytes.
    ASSERT_EQ(ph.run({0, 200, "0"}).status, 0);
    const Files before = files_of(ph.out());
    struct Case {
        const char *name;
        Note note;
        rlim_t limit;
    } cases[] = {
        {"the note's append", {300, 300, "5"}, 600},
        {"a gap's silence", {300, 10, "-400"}, 600},
        // An overlap over the whole output: its 400 bytes go to the journal too.
        {"the journal", {300, 300, "250"}, 300},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        set_files(ph.out(), before);
        const ChildResult r = run_child(ph.args(c.note), [&] {
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit = {c.limit, c.limit};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(100);
        });
        EXPECT_EQ(r.status, 255) << "signal " << r.signal;
        EXPECT_TRUE(one_failure_line(r.out, "samples/sec:44100\ninfile_size:2036\n", ph.names()));
        // Writes are buffered: the limit shows at the write, the flush or the close.
        EXPECT_TRUE(r.out.find("write failed") != std::string::npos ||
                    r.out.find("flush failed") != std::string::npos ||
                    r.out.find("close failed") != std::string::npos)
            << r.out;
        EXPECT_EQ(files_of(ph.out()), before);
    }
}

// A source, header file, data file, journal or lock file that is a FIFO, a
// device or a socket: the run is refused at once, before anything could
// wait on it, and nothing changes.
TEST(Faults, FilesThatAreNotRegular)
{
    FaultPhrase ph;
    ASSERT_EQ(ph.run({0, 10, "0"}).status, 0);
    const Files before = files_of(ph.out());
    const std::string out = ph.out();
    const auto fifo = [](const std::string &path) {
        fs::remove(path);
        ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
    };
    const auto socket_at = [](const std::string &path) {
        fs::remove(path);
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        ASSERT_LT(path.size(), sizeof addr.sun_path);
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        close(fd);
    };
    struct Case {
        const char *what;
        std::string path;  // what is made there
        bool socket;       // a socket, else a FIFO
        std::string src;   // the source the run reads
    } cases[] = {
        {"a FIFO source", ph.dir_path("fifo.wav"), false, ph.dir_path("fifo.wav")},
        {"a socket for a source", ph.dir_path("sock.wav"), true, ph.dir_path("sock.wav")},
        {"a device for a source", "", false, "/dev/null"},
        {"a FIFO header file", out + ".whd", false, ph.src()},
        {"a FIFO data file", out + ".dat", false, ph.src()},
        {"a FIFO journal", out + ".jnl", false, ph.src()},
        {"a FIFO lock file", out + ".lock", false, ph.src()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        set_files(out, before);
        if (!c.path.empty()) {
            if (c.socket)
                socket_at(c.path);
            else
                fifo(c.path);
        }
        const Files start = files_of(out);
        std::vector<std::string> args = full_gain_note(out, c.src, 20, 4, "2");
        const ChildResult r = run_child(args, [] {}, -1, 5);
        EXPECT_FALSE(r.stuck);
        EXPECT_LT(r.seconds, 1.0);
        EXPECT_EQ(r.status, 255);
        const std::string named = c.path.empty() ? c.src : c.path;
        const std::vector<std::string> lines = lines_of(r.out);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "not a regular file: " + named);
        EXPECT_EQ(files_of(out), start);
        if (!c.path.empty())
            fs::remove(c.path);
    }
}

// A source or a header file that exists but for which there is no memory is
// not taken for a missing one: the note would become silence, or the output
// start afresh over what it holds.
TEST(Faults, NoMemoryForAFile)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator does not keep to an address-space limit";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "the sanitizer's allocator does not keep to an address-space limit";
#endif
#endif
    FaultPhrase ph;
    ASSERT_EQ(ph.run({0, 10, "0"}).status, 0);
    const Files before = files_of(ph.out());
    // 64 MiB, mostly a hole: a source, and a header file that begins as one.
    const std::int64_t big = std::int64_t{64} << 20;
    const std::string source = ph.dir_path("big.wav");
    write_file(source, make_wav(Samples(8, 1)));
    fs::resize_file(source, static_cast<std::uintmax_t>(big));
    struct Case {
        const char *what;
        std::string src, header;
    } cases[] = {
        {"the source", source, ""},
        {"the header file", ph.src(), ph.out() + ".whd"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        set_files(ph.out(), before);
        if (!c.header.empty())
            fs::resize_file(c.header, static_cast<std::uintmax_t>(big));
        const Files start = files_of(ph.out());
        const ChildResult r = run_child(full_gain_note(ph.out(), c.src, 20, 4, "2"), [] {
            // Room for the tool (linked statically, it needs a few MiB), not
            // for the file.
            const rlimit limit = {rlim_t{40} << 20, rlim_t{40} << 20};
            if (setrlimit(RLIMIT_AS, &limit) != 0)
                _exit(100);
        });
        EXPECT_EQ(r.status, 255) << r.out;
        ASSERT_FALSE(lines_of(r.out).empty());
        EXPECT_EQ(lines_of(r.out).back(), "malloc error at binload");
        EXPECT_EQ(files_of(ph.out()), start);
    }
}

// Standard output closed under a run (its reader gone): the run goes out
// before its commit, never after it, so a note that is in is never reported
// as failed.
TEST(Faults, ClosedStandardOutput)
{
    FaultPhrase ph;
    ASSERT_EQ(ph.run({0, 10, "0"}).status, 0);
    const Files before = files_of(ph.out());
    const RunResult clean = ph.run({20, 4, "2"});
    const Files after = files_of(ph.out());
    for (const bool ignored : {false, true}) {
        SCOPED_TRACE(ignored ? "SIGPIPE ignored" : "SIGPIPE");
        set_files(ph.out(), before);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        close(fds[0]); // no reader
        const ChildResult r = run_child(ph.args({20, 4, "2"}),
                                        [&] { std::signal(SIGPIPE, ignored ? SIG_IGN : SIG_DFL); }, fds[1]);
        close(fds[1]);
        if (r.signal != 0) {
            EXPECT_EQ(r.signal, SIGPIPE);
            EXPECT_EQ(files_of(ph.out()), before);
        } else {
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(files_of(ph.out()), after);
        }
        EXPECT_EQ(r.signal != 0, !ignored);
    }
}
#endif

} // namespace
