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
Bytes make_wav(const std::vector<std::int16_t> &samples, const WavSpec &spec = {});

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
// the process exit status as the platform reports it (255 for -1 on POSIX).
RunResult run_program(const std::string &exe, const std::vector<std::string> &args,
                      const char *samples = nullptr);
