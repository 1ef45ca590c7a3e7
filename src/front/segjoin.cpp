// segjoin <outfile> [<wavfile>]: joins <outfile>.whd and <outfile>.dat into one
// WAVE file, <wavfile> or by default <outfile> itself.
#include <cstdio>
#include <string>

#include "front/say.h"
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
    const JoinResult r = join_files(header.c_str(), data.c_str(), argc == 3 ? argv[2] : argv[1]);
    say(stdout, r.report);
    return r.failure == JoinFailure::none ? 0 : 1;
}
