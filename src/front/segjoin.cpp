// segjoin <outfile> [<wavfile>]: joins <outfile>.whd and <outfile>.dat into one
// WAVE file, <wavfile> or by default <outfile> itself.
#include <cstdio>
#include <string>

#include "front/command_line.h"
#include "front/process.h"
#include "front/say.h"
#include "messages.h"
#include "wave/file.h"
#include "wave/join.h"
#include "wave/journal.h"
#include "wave/output.h"

namespace {

bool exists(const std::string &path)
{
    FileId id;
    return file_id(path.c_str(), &id) == 0;
}

// The output as runs leave it: locked against a run going on, and a killed
// run's commit undone, so that a half-committed output is never joined. An
// output with neither a header file nor a journal has nothing to undo, and
// gets no lock file either.
bool settle(const char *outfile, const OutputNames &names, Output *out)
{
    if (!exists(names.header) && !exists(names.journal))
        return true;
    Report r = lock_output(outfile, out);
    say(stdout, r);
    if (r)
        return false;
    const Said said = recover_output(names.journal, names.header, names.data);
    say(stdout, said.notice);
    say(stdout, said.refusal);
    return !said.refusal;
}

} // namespace

int main(int raw_argc, char **raw_argv)
{
    start_process();
    const CommandLine line(raw_argc, raw_argv);
    const int argc = line.argc();
    const char *const *argv = line.argv();
    if (answer_flag(argc, argv, {"segjoin", msg::join_usage, msg::help_segjoin}, stdout))
        return 0;
    if (argc < 2 || argc > 3) {
        std::fputs(msg::join_usage, stdout);
        return 2;
    }
    const OutputNames names = output_names(argv[1]);
    Output out;
    if (!settle(argv[1], names, &out))
        return 1;
    const JoinResult r = join_files(names.header.c_str(), names.data.c_str(), argc == 3 ? argv[2] : argv[1]);
    say(stdout, r.report);
    return r.failure == JoinFailure::none ? 0 : 1;
}
