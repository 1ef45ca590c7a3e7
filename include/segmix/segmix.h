/* segmix as a library: one note rendered and appended to an output, inside the
 * caller's process, with the same results as the segmix command.
 *
 * An output named OUT is two files: OUT.whd, one 44-byte WAVE header for all
 * that has been appended so far, and OUT.dat, the samples (mono, 16 bits).
 * Joined, header file first, they make one WAVE file.
 *
 * Strings are UTF-8, on Windows too: file names of any script reach the file
 * system through its wide interface. A Windows program that holds names in
 * the ANSI code page converts them first (MultiByteToWideChar with CP_ACP,
 * then WideCharToMultiByte with CP_UTF8).
 *
 * Diagnostics are printed to standard output, one line each, as the command
 * prints them. The environment variable `samples` sets the sample rate of a
 * fresh output (44100 when unset or 0) and is read by every run.
 *
 * Threads: runs may go on at the same time on several threads; each run keeps
 * its own state. Runs on the same output take turns: each holds an exclusive
 * lock on OUT.lock (made beside the output, and left there) while it works on
 * the output, and a run that finds it held waits up to 30 s, then returns -1
 * ("output busy"). While runs are going on, the process must not change its
 * environment (setenv, putenv).
 *
 * Linking: with the shared library nothing needs defining. On Windows, a
 * program that links the static library defines SEGMIX_STATIC before including
 * this header (the CMake target segmix::segmix_static does so).
 */
#ifndef SEGMIX_SEGMIX_H
#define SEGMIX_SEGMIX_H

#if defined(_WIN32)
#if defined(SEGMIX_BUILDING_DLL)
#define SEGMIX_API __declspec(dllexport)
#elif defined(SEGMIX_STATIC)
#define SEGMIX_API
#else
#define SEGMIX_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define SEGMIX_API __attribute__((visibility("default")))
#else
#define SEGMIX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Runs one note with an argument vector as the command line gives it:
 * argv[0] (never read) and then the parameters
 *   outfile infile offset length p1 p2 p3 v1 v2 v3 v4 ovr p4 p5 v5
 * of which the first six are needed. argc counts argv[0] too.
 * Returns the command's exit status: 0 when the note was appended, -1 when the
 * run was refused (too few parameters, invalid parameters, a source or header
 * file that cannot be used) or a file operation failed; the line printed says
 * which. A run that returns -1 leaves both files of the output as they were. */
SEGMIX_API int segmix_run(int argc, const char *const *argv);

/* What a run found out about its note, for a program that reports on many. */
typedef struct segmix_result {
    int status;                /* what segmix_run returns: 0 or -1 */
    int silent;                /* 1 when the source was missing or could not be
                                  loaded, so that the note is silence (a rest) */
    int source_rate;           /* the source's frames per second; 0 when the run
                                  ended before it loaded the source */
    int output_rate;           /* the sample rate in the output's header; 0 when
                                  the run ended before it opened the output */
    long long clipped_samples; /* the note's samples clipped to the 16-bit range */
} segmix_result;

/* segmix_run, filling *result (when not null) with what the run found out.
 * A note whose source_rate differs from its output_rate plays at another
 * speed than its source. Returns the status. */
SEGMIX_API int segmix_run_ex(int argc, const char *const *argv, segmix_result *result);

/* Runs one note with the fifteen parameters in the order above. The first
 * eleven must not be null. A null or empty ovr leaves ovr, p4, p5 and v5
 * unread; otherwise a null or empty p4 leaves p4, p5 and v5 unread (ovr is
 * still read); when both are given, p5 and v5 must not be null either.
 * Returns what segmix_run returns. */
SEGMIX_API int segmix_run_note(const char *outfile, const char *infile, const char *offset,
                               const char *length, const char *p1, const char *p2,
                               const char *p3, const char *v1, const char *v2, const char *v3,
                               const char *v4, const char *ovr, const char *p4, const char *p5,
                               const char *v5);

/* Copies the file first and then the file second into output, as the header
 * file and the data file of an output join into one WAVE file. Both inputs are
 * opened first; the copy goes to output.tmp and is renamed over output once it
 * is whole, so output is changed only when the join succeeds. Returns the
 * number of bytes copied (at most 2147483647), -1 when output cannot be
 * created or written or is one of the inputs, -2 when an input cannot be
 * opened or read. */
SEGMIX_API int segmix_join(const char *first, const char *second, const char *output);

/* The library's version, "major.minor.patch", the same as the tools print
 * with --version. */
SEGMIX_API const char *segmix_version(void);

#ifdef __cplusplus
}
#endif

#endif /* SEGMIX_SEGMIX_H */
