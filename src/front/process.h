// What each tool's process sets up before its first run.
#pragma once

// A file-size limit (ulimit -f) must show as a failed write, which a run
// reports and puts back, not as SIGXFSZ ending the process halfway through a
// commit: the signal is ignored.
void start_process();
