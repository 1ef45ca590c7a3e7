// Shared fixtures: temporary folders, files as byte vectors, the files of an
// output, WAVE sources built in memory, and runs of the tools with what they
// print captured.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;
using Samples = std::vector<std::int16_t>;

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string path(const std::string &name) const;
    const std::filesystem::path &dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

// Paths are UTF-8 strings, on Windows too (where std::filesystem would take a
// narrow string in the ANSI code page).
std::filesystem::path utf8_path(const std::string &path);
std::string utf8_string(const std::filesystem::path &path);

Bytes read_file(const std::string &path);
void write_file(const std::string &path, const Bytes &bytes);
bool file_exists(const std::string &path);
// The file's bytes, or nullopt when there is no regular file at path.
std::optional<Bytes> read_if(const std::string &path);
// The bytes of a text.
Bytes text_bytes(const std::string &text);
// The lines of a text, without their line feeds.
std::vector<std::string> lines_of(const std::string &text);

// The files of the output out as they stand: out.whd and out.dat (nullopt:
// absent), and whether out.jnl exists.
struct OutputFiles {
    std::optional<Bytes> header, data;
    bool journal = false;
    bool operator==(const OutputFiles &) const = default;
};
OutputFiles files_of(const std::string &out);
// Makes the output's files so (a missing one removed), and no journal.
void set_files(const std::string &out, const OutputFiles &files);
// A 44-byte header whose data_size is the data file's length and whose
// riff_size is that plus 36.
bool consistent(const OutputFiles &files);

// Little-endian helpers for building fixtures.
void append_le16(Bytes *b, std::uint16_t v);
void append_le32(Bytes *b, std::uint32_t v);
void append_id(Bytes *b, const char *id);
void set_le16(Bytes *b, std::size_t at, std::uint16_t v);
void set_le32(Bytes *b, std::size_t at, std::uint32_t v);
std::uint32_t le32_at(const Bytes &b, std::size_t at);

struct WavSpec {
    std::uint16_t format_tag = 1;
    std::uint16_t channels = 1;
    std::int32_t sample_rate = 44100;
    std::uint16_t block_align = 0; // 0: 2 * channels
    std::uint16_t bits = 16;
    std::int32_t fmt_size = 16;    // bytes of fmt body written; more than 16 pads with zeros
    Bytes before_data;             // whole chunks placed between fmt and data
    std::int64_t data_size = -1;   // -1: the samples' byte count
};

// A RIFF/WAVE file holding samples (interleaved frames) as 16-bit values.
Bytes make_wav(const std::vector<std::int16_t> &samples, const WavSpec &shape = {});

// The header of a fresh output holding data_bytes of samples, spelled out
// field by field: mono 16-bit PCM at rate.
Bytes header_for(std::uint32_t data_bytes, std::uint32_t rate = 44100);

// The 16-bit samples of a data file's bytes, and the bytes of samples.
Samples samples_of(const Bytes &bytes);
Bytes bytes_of(const Samples &samples);

// The ramp source: 1000 frames at 1000 frames per second, so that a
// millisecond is one frame, and frame i holds 100 + i.
Samples ramp(int offset = 0, int length = 1000);
Bytes ramp_source();
// The parameters of a note of the ramp source at full gain (every envelope
// point at 100 %, so that the note is the source's stretch itself).
std::vector<std::string> full_gain_note(const std::string &out, const std::string &src, int offset,
                                        int length, const std::string &ovr = "0");

// A word of a segmix-batch line that stands for text whatever it holds: in
// single quotes, a quote inside written '\''.
std::string batch_word(const std::string &text);
// A line of segmix-batch's format: the words, each quoted, spaces between.
std::string batch_line(const std::vector<std::string> &words);

// An argument vector: program, then the words (copied).
class Argv {
public:
    explicit Argv(std::vector<std::string> words, const char *program = "segmix");
    Argv(const Argv &) = delete;
    Argv &operator=(const Argv &) = delete;
    int argc() const { return static_cast<int>(v_.size()); }
    const char *const *argv() const { return v_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<const char *> v_;
};

// A stream that the tools can print on, and what they printed: a file of its
// own under the temporary folder (tmpfile() runs out of names on Windows).
class Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture &) = delete;
    Capture &operator=(const Capture &) = delete;
    std::FILE *file() const { return f_; }
    std::string text() const;

private:
    std::filesystem::path path_;
    std::FILE *f_;
};

struct RunResult {
    int status;
    std::string out; // what the run printed on standard output
};

// segmix_main in this process with argv[1..] = args; samples is the value of
// the samples environment variable, or nullptr to unset it.
RunResult run_inprocess(const std::vector<std::string> &args, const char *samples = nullptr);

// Sets or (nullptr) unsets the samples environment variable.
void set_samples(const char *samples);

// The built executable, run through the shell with stdout captured; status is
// the process exit status as the platform reports it (exit_failure_status for
// -1). On Windows the command goes through cmd.exe; exe may be a Unix path
// (as under Wine, where Z:\ is /).
RunResult run_program(const std::string &exe, const std::vector<std::string> &args,
                      const char *samples = nullptr);

// A program's return value of -1 as run_program reports it: Windows hands the
// whole 32-bit value to the caller, POSIX only its low 8 bits.
#ifdef _WIN32
inline constexpr int exit_failure_status = -1;
#else
inline constexpr int exit_failure_status = 255;
#endif

// Standard output is a text stream: on Windows every "\n" a program prints
// reaches run_program's caller as CR LF. console_text(s) is what printing s
// gives there. run_inprocess gives "\n" on every platform.
#ifdef _WIN32
inline constexpr const char *console_newline = "\r\n";
#else
inline constexpr const char *console_newline = "\n";
#endif
std::string console_text(const std::string &s);
