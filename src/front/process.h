// What every tool's process sets up before it starts, and the flags every
// tool answers.
#pragma once

#include <cstdio>

// A file-size limit (ulimit -f) must show as a failed write, which a run
// reports and puts back, not as SIGXFSZ ending the process halfway through a
// commit: the signal is ignored.
void start_process();

enum class Flag {
    none,
    help,    // --help or -h
    version, // --version or -V
};

// The flag that argv holds as its only argument, if any.
Flag only_flag(int argc, const char *const *argv);

// What a tool says of itself.
struct ToolText {
    const char *name;  // "segmix"
    const char *usage; // its usage line
    const char *help;  // what follows the usage line in --help
};

// Answers --help (the usage line and the help) and --version (the name and
// the version) on out when argv holds one as its only argument; false when
// it holds neither.
bool answer_flag(int argc, const char *const *argv, const ToolText &tool, std::FILE *out);
