// What every tool's process sets up before it starts, and the flags every
// tool answers.
#pragma once

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
