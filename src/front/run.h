// One run: one note rendered and appended to an output.
#pragma once

// The spine of a run, for the process entry and for run_note alike: argc and
// argv as a command line gives them (argv[0] is never read). Returns the exit
// status, 0 or -1.
int segmix_main(int argc, const char *const *argv);

// Runs one note in the caller's process with the fifteen parameters in the
// order of the usage line. A null or empty ovr leaves ovr, p4, p5 and v5 unread;
// a null or empty p4 leaves p4, p5 and v5 unread (ovr is still read).
int run_note(const char *outfile, const char *infile, const char *offset, const char *length,
             const char *p1, const char *p2, const char *p3, const char *v1, const char *v2,
             const char *v3, const char *v4, const char *ovr, const char *p4, const char *p5,
             const char *v5);

// The argument count that run_note passes for these ovr and p4.
int run_note_argc(const char *ovr, const char *p4);
