// segmix-batch: many runs in one process, one per line of a file, in order.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// What one line of a batch file holds.
enum class Line {
    run,         // the parameters of one run, in the command line's order
    blank,       // nothing but white space or a comment
    open_quote,  // a single or double quote that is never closed
    open_escape, // a backslash with nothing after it
};

// Splits a line (without its newline) into words as a POSIX shell splits a
// command: spaces and tabs separate words; '...' keeps everything inside as it
// is; "..." does too, except that a backslash before $ ` " or \ stands for
// that character; elsewhere a backslash stands for the character after it;
// quoted and unquoted parts next to each other make one word; a '#' that
// begins a word starts a comment. Nothing is expanded ($, ~, * are plain
// characters). One '\r' at the end of the line is dropped, so files with CRLF
// line ends read the same. *words is set only for Line::run.
Line split_line(std::string_view line, std::vector<std::string> *words);

// The progress bar after done of total lines: "[####......]  done/total",
// width characters between the brackets.
std::string progress_bar(long done, long total, int width);

// Progress where the total is not known (a pipe): "17 lines".
std::string progress_count(long done);

// segmix-batch [FILE|-]: runs every line of FILE, or of standard input when
// FILE is "-" or not given, each as soon as it has been read, holding only
// that line. The runs print on out, segmix-batch's own lines go to err.
// Returns the process's exit status: 0 when every run returned 0, 1 when any
// failed or any line could not be run, 2 for a wrong command line or an input
// that cannot be read.
int batch_main(int argc, const char *const *argv, std::FILE *out, std::FILE *err);
