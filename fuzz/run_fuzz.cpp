// Fuzz target: one whole run of segmix over arbitrary output files, an
// arbitrary source file and an arbitrary argument vector, in a folder of its
// own under the system's temporary folder.
//
// Input fields, separated by "\n~~\n":
//   0  which files exist before the run: 'h' the header file, 'd' the data
//      file, 's' the source, 'j' a journal left by an interrupted run; 'c'
//      makes the journal's length and checksum fields right, so that mutated
//      journals get past their check and reach the recovery
//   1  the header file's bytes        2  the data file's bytes
//   3  the source's bytes             4  the journal's bytes
//   5  the samples variable ('-' leaves it unset)
//   6… the parameters from offset on (outfile and infile are the folder's)
//
// Besides the sanitizers' findings it aborts when a run ends with a status
// other than 0 or -1, when a run that ends with -1 has changed either output
// file, when a run leaves its journal behind, and when a run that succeeds
// turns a consistent output (a 44-byte header whose sizes match the data file)
// into an inconsistent one.
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "bytes.h"
#include "front/run.h"
#include "parts.h"
#include "wave/journal.h"

namespace fs = std::filesystem;

namespace {

std::string folder;
std::FILE *quiet = nullptr; // where the runs print: nowhere

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "run_fuzz: %s\n", what);
        std::abort();
    }
}

using File = std::optional<std::string>; // nullopt: the file does not exist

File read_file(const std::string &path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A 44-byte RIFF/WAVE header whose sizes describe the data file exactly.
bool consistent(const File &header, const File &data)
{
    if (!header || header->size() != 44 || header->compare(0, 4, "RIFF") != 0 ||
        header->compare(8, 4, "WAVE") != 0)
        return false;
    const auto *h = reinterpret_cast<const unsigned char *>(header->data());
    const std::int64_t riff = get_le32s(h + 4), size = get_le32s(h + 40);
    const std::int64_t length = data ? static_cast<std::int64_t>(data->size()) : 0;
    return size == length && riff == size + 36;
}

} // namespace

// A note or a gap may legitimately ask for up to 2 GiB. Bound what one input
// may cost: allocations past 64 MiB fail (the tool reports it and ends with -1),
// and so do writes past 16 MiB (the rlimit below; the tool rolls back).
extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=64";
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    quiet = std::fopen("/dev/null", "w");
    check(quiet != nullptr, "/dev/null");
    const rlimit limit = {16 << 20, 16 << 20};
    check(setrlimit(RLIMIT_FSIZE, &limit) == 0, "setrlimit");
    std::string templ = (fs::temp_directory_path() / "segmix-fuzz-XXXXXX").string();
    check(mkdtemp(templ.data()) != nullptr, "mkdtemp");
    folder = templ;
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(folder, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *input, std::size_t size)
{
    // libFuzzer installs its own SIGXFSZ handler after LLVMFuzzerInitialize.
    static const bool xfsz_ignored = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
    check(xfsz_ignored, "signal");
    std::vector<std::string> f = split_fields(input, size);
    f.resize(std::max<std::size_t>(f.size(), 6));
    const std::string out = folder + "/out", src = folder + "/src.wav";
    const std::string whd = out + ".whd", dat = out + ".dat", jnl = out + ".jnl";
    std::error_code ec;
    for (const std::string &p : {whd, dat, jnl, src})
        fs::remove_all(p, ec);
    const std::string &flags = f[0];
    const bool journal = flags.find('j') != std::string::npos;
    if (flags.find('h') != std::string::npos)
        write_file(whd, f[1]);
    if (flags.find('d') != std::string::npos)
        write_file(dat, f[2]);
    if (flags.find('s') != std::string::npos)
        write_file(src, f[3]);
    if (journal && flags.find('c') != std::string::npos)
        seal_journal({reinterpret_cast<unsigned char *>(f[4].data()), f[4].size()});
    if (journal)
        write_file(jnl, f[4]);
    if (f[5] == "-")
        unsetenv("samples");
    else
        setenv("samples", f[5].c_str(), 1);

    std::vector<const char *> argv = {"segmix", out.c_str(), src.c_str()};
    for (std::size_t i = 6; i < f.size() && argv.size() < 20; ++i)
        argv.push_back(f[i].c_str());
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);

    const File header_before = read_file(whd), data_before = read_file(dat);
    const int status = segmix_main(argc, argv.data(), quiet);
    const File header_after = read_file(whd), data_after = read_file(dat);

    check(status == 0 || status == -1, "status other than 0 and -1");
    if (journal) {
        // A journal is dealt with once a run reaches its output; recovering
        // from it may change both files.
        check(status == -1 || !fs::exists(jnl), "journal left behind");
        return 0;
    }
    check(!fs::exists(jnl), "journal left behind");
    if (status == -1)
        check(header_after == header_before && data_after == data_before,
              "a refused run changed the output");
    if (status == 0 && consistent(header_before, data_before))
        check(consistent(header_after, data_after), "a run broke a consistent output");
    return 0;
}
