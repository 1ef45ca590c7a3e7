// segjoin <outfile> [<wavfile>]: joins <outfile>.whd and <outfile>.dat into one
// WAVE file, <wavfile> or by default <outfile> itself.
#include <cstdio>
#include <string>

#include "messages.h"
#include "wave/join.h"

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fputs(msg::join_usage, stdout);
        return 2;
    }
    const std::string header = std::string(argv[1]) + ".whd";
    const std::string data = std::string(argv[1]) + ".dat";
    const char *wav = argc == 3 ? argv[2] : argv[1];
    const JoinResult r = join_files(header.c_str(), data.c_str(), wav);
    switch (r.failure) {
    case JoinFailure::none:
        return 0;
    case JoinFailure::create_output:
        std::printf(msg::file_failed, "create", wav);
        break;
    case JoinFailure::write_output:
        std::printf(msg::file_failed, "write", wav);
        break;
    case JoinFailure::open_first:
    case JoinFailure::read_first:
        std::printf(msg::file_failed, r.failure == JoinFailure::open_first ? "open" : "read",
                    header.c_str());
        break;
    case JoinFailure::open_second:
    case JoinFailure::read_second:
        std::printf(msg::file_failed, r.failure == JoinFailure::open_second ? "open" : "read",
                    data.c_str());
        break;
    }
    return 1;
}
