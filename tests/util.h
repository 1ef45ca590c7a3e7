// Shared fixtures: temporary folders, files as byte vectors, WAVE sources built
// in memory, and runs of the tool with their printed output captured.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

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

Bytes read_file(const std::string &path);
void write_file(const std::string &path, const Bytes &bytes);
bool file_exists(const std::string &path);

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

// The 16-bit samples of a data file's bytes.
std::vector<std::int16_t> samples_of(const Bytes &bytes);

struct RunResult {
    int status;
    std::string out; // what the run printed on standard output
};

// segmix_main in this process with argv[1..] = args; samples is the value of
// the samples environment variable, or nullptr to unset it.
RunResult run_inprocess(const std::vector<std::string> &args, const char *samples = nullptr);

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
// gives there; fold_crlf(s) turns each CR LF back into "\n". run_inprocess
// gives "\n" on every platform (the capture reads its file back as text).
#ifdef _WIN32
inline constexpr const char *console_newline = "\r\n";
#else
inline constexpr const char *console_newline = "\n";
#endif
std::string console_text(const std::string &s);
std::string fold_crlf(const std::string &s);
