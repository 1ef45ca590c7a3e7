// Every text the tools print, in one place, and the codes by which the layers
// below the spine say what happened. The layers return a Report; only the
// spine of each tool prints, through text_of. The two Japanese messages are
// Shift-JIS (code page 932) bytes, written as escapes so that the source
// file's own encoding cannot change them.
#pragma once

#include <string>

namespace msg {

inline constexpr char usage[] =
    "segmix <outfile> <infile> offset length p1 p2 p3 v1 v2 v3 v4 ovr p4 p5 v5\n";
inline constexpr char sample_rate[] = "samples/sec:%d\n";
inline constexpr char infile_size[] = "infile_size:%d\n";

// "パラメーターが不正です\n": the parameters are invalid.
inline constexpr char bad_params[] =
    "\x83\x70\x83\x89\x83\x81\x81\x5b\x83\x5e\x81\x5b\x82\xaa\x95\x73\x90\xb3\x82\xc5\x82\xb7\x0a";
// "16ビットフォーマットのみに対応しています。\n": only the 16-bit format is supported.
inline constexpr char only_16bit[] =
    "\x31\x36\x83\x72\x83\x62\x83\x67\x83\x74\x83\x48\x81\x5b\x83\x7d\x83\x62\x83\x67\x82\xcc"
    "\x82\xdd\x82\xc9\x91\xce\x89\x9e\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42\x0a";

inline constexpr char bad_samples[] = "samples must be a rate from 0 to 1073741823\n";

inline constexpr char not_riff[] = "not a wave file\n";
inline constexpr char not_wave[] = "not WAVE format\n";
inline constexpr char malloc_binload[] = "malloc error at binload\n";
inline constexpr char read_binload[] = "read error at binload\n";
inline constexpr char large_binload[] = "file too large at binload\n";

inline constexpr char source_short[] = "infile too short for its header\n";
inline constexpr char bad_fmt_size[] = "fmt_size out of range in infile\n";
inline constexpr char no_data[] = "data chunk not found\n";
inline constexpr char bad_block_align[] = "block_align too small for channels in infile\n";

inline constexpr char negative_rate[] = "negative sample_rate in infile\n";
inline constexpr char note_range[] = "note out of range\n";
inline constexpr char malloc_buffer[] = "malloc error at segment buffer\n";
inline constexpr char malloc_overlap[] = "malloc error at apply_overlap\n";

// %s is the file's name.
inline constexpr char header_short[] = "header file too short: %s\n";
inline constexpr char header_negative[] = "negative data_size in header file: %s\n";
inline constexpr char riff_range[] = "riff_size out of range in header file: %s\n";
inline constexpr char data_short[] = "data file shorter than its header says: %s\n";
inline constexpr char output_large[] = "output would exceed 2 GiB: %s\n";
// "%s failed on %s\n": the operation ("open", "read", "write", ...), then the file.
inline constexpr char file_failed[] = "%s failed on %s\n";
// %s is the journal's name: it describes a run on files that have since been replaced.
inline constexpr char journal_stale[] = "journal does not fit the output, removed: %s\n";
// %s is the journal's name: a file there that is not a journal is never removed.
inline constexpr char journal_foreign[] = "not a journal, remove it to go on: %s\n";
// %s is the journal's name: a later run must be able to read it back.
inline constexpr char journal_large[] = "journal would exceed 2 GiB: %s\n";
// %s is a file that is a FIFO, a device or a socket.
inline constexpr char not_regular[] = "not a regular file: %s\n";
// %s is the outfile: another run kept it past the wait.
inline constexpr char output_busy[] = "output busy: %s\n";
// %s is the outfile: its folder is missing or cannot be written.
inline constexpr char output_folder[] = "cannot create files for the output: %s\n";
// %s is the join's output: it is the same file as one of the inputs.
inline constexpr char join_same[] = "output is one of the inputs: %s\n";

inline constexpr char join_usage[] = "segjoin <outfile> [<wavfile>]\n";

// What --help prints (after the usage line) and what --version prints (%s is
// the version).
inline constexpr char version[] = "%s %s\n"; // the tool's name, the version
inline constexpr char help_segmix[] =
    "\n"
    "Renders one note of a 16-bit PCM WAVE recording and appends it to the output\n"
    "<outfile>.whd (one WAVE header for all so far) and <outfile>.dat (the samples,\n"
    "mono, 16 bits); segjoin joins the two into one WAVE file.\n"
    "\n"
    "Times are in ms, volumes in percent of full gain. By the number of parameters:\n"
    "  6 to 10  short form: offset length p1 p2, the rest ignored; the note rises\n"
    "           over p1, holds full gain and falls over its last p2\n"
    "  11       long form: also p3 v1 v2 v3 v4\n"
    "  12       also ovr\n"
    "  13, 14   also p4 (a 14th, p5, is not read)\n"
    "  15       also p5 v5\n"
    "In the long form the gain runs linearly from 0 at offset to v1 after p1, v2\n"
    "after p2 and v5 after p5, on to v3 where the last p3 + p4 begin, to v4 where\n"
    "the last p4 begins, and to 0 at the note's end.\n"
    "  outfile   base name of the output's files\n"
    "  infile    the source recording; a missing one gives a silent note (a rest)\n"
    "  offset    where the note begins in the source\n"
    "  length    the note's length, or n@tempo[+ms|-ms]: n 480ths of a beat at\n"
    "            tempo beats per minute (120 when left out), plus or minus ms\n"
    "  p1 .. p5  lengths of envelope segments (default 0)\n"
    "  v1 .. v4  gains at the envelope's points (default 100 100 0 0); v5 (default\n"
    "            v2) is the gain after p5\n"
    "  ovr       > 0 mixes the note's head into the output's last ovr ms, < 0\n"
    "            leaves -ovr ms of silence before it (default 0)\n"
    "Numbers are read as the longest leading decimal number of each word.\n"
    "\n"
    "Environment: samples, the sample rate of a new output's header (44100 when\n"
    "unset or 0). A note is rendered at its source's own rate.\n"
    "\n"
    "Exit status: 0 when the note was appended; -1 (255 as POSIX shells show it)\n"
    "when the run is refused or a file fails, after one line that says why; the\n"
    "output's files are then as they were.\n"
    "\n"
    "Example:\n"
    "  segmix out/phrase voice.wav 20 480@160+25 25 50 80 100 85 80 70 0 60 60 85\n";
inline constexpr char help_segjoin[] =
    "\n"
    "Joins <outfile>.whd and <outfile>.dat, the output that segmix runs build, into\n"
    "one WAVE file: <wavfile>, or <outfile> itself when it is left out. The file is\n"
    "replaced only once the join is whole; a run that was killed is undone first.\n"
    "\n"
    "Exit status: 0 when joined; 1 when a file fails, after one line that says why;\n"
    "2 when the arguments are wrong.\n"
    "\n"
    "Example:\n"
    "  segjoin out/phrase out/phrase.wav\n";
inline constexpr char help_batch[] =
    "\n"
    "Runs one segmix note per line of FILE, or of standard input when FILE is - or\n"
    "left out, in order, in one process: the same files and the same standard\n"
    "output as one segmix run per line. Each line runs as soon as it is read.\n"
    "\n"
    "A line holds a run's parameters in segmix's order (see segmix --help), split\n"
    "as a POSIX shell splits words: spaces and tabs separate them, '...' and\n"
    "\"...\" quote, a backslash escapes, # begins a comment; nothing is expanded.\n"
    "\n"
    "On standard error: lines that cannot be read, a progress bar on a terminal,\n"
    "and a summary: the runs, the failed ones, the notes rendered as silence\n"
    "because their source is missing, the notes at another rate than their\n"
    "output's, and the notes with clipped samples, each with its line numbers.\n"
    "\n"
    "With --view FILE.svg it then draws the phrase, as segmix-view does.\n"
    "\n"
    "Exit status: 0 when every run returned 0; 1 when one did not, a line could\n"
    "not be read or the picture not drawn; 2 when the arguments are wrong or FILE\n"
    "cannot be read.\n"
    "\n"
    "Example:\n"
    "  segmix-batch phrase.txt\n"
    "where phrase.txt holds lines such as\n"
    "  out/phrase voice.wav 20 480@160+25 25 50 80 100 85 80 70 0 60 60 85\n";

// segmix-batch. Its own lines go to standard error, so that standard output
// holds exactly what the runs print.
inline constexpr char batch_usage[] = "segmix-batch [--view FILE.svg] [FILE|-]\n";
// On a terminal, before the notes are read from it.
#ifdef _WIN32
inline constexpr char batch_hint[] = "segmix-batch: reading notes from the keyboard, one per line; Ctrl-Z and Enter to end (segmix-batch --help)\n";
#else
inline constexpr char batch_hint[] = "segmix-batch: reading notes from the terminal, one per line; Ctrl-D to end (segmix-batch --help)\n";
#endif
// %s is the input's name, then why it cannot be read.
inline constexpr char batch_unreadable[] = "segmix-batch: cannot read %s: %s\n";
// %ld is the line number.
inline constexpr char batch_open_quote[] = "segmix-batch: line %ld: unbalanced quote\n";
inline constexpr char batch_open_escape[] = "segmix-batch: line %ld: backslash at the end of the line\n";
inline constexpr char batch_nul[] = "segmix-batch: line %ld: NUL byte\n";
// %zu is the longest a line may be.
inline constexpr char batch_long[] = "segmix-batch: line %ld: longer than %zu bytes\n";
inline constexpr char batch_no_memory[] = "segmix-batch: line %ld: no memory for the line\n";
// The summary: runs, failed runs, then seconds; the second form lists the
// failed runs' line numbers ("3, 7, 12") before the seconds.
inline constexpr char batch_summary[] = "segmix-batch: %ld runs, %ld failed, %.3f s\n";
inline constexpr char batch_summary_failed[] = "segmix-batch: %ld runs, %ld failed (lines %s), %.3f s\n";
// What the summary adds, when it is so: a count and the first line numbers.
inline constexpr char batch_silent[] =
    "segmix-batch: notes rendered as silence, their source missing or unreadable: %ld (lines %s)\n";
inline constexpr char batch_rates[] =
    "segmix-batch: notes at another sample rate than their output, which play at the wrong speed: %ld (lines %s)\n";
inline constexpr char batch_clipped[] =
    "segmix-batch: notes with clipped samples: %ld (lines %s), %lld samples in all\n";

// segmix-view. Its lines go to standard error; on success it prints nothing.
inline constexpr char view_usage[] = "segmix-view NOTES [-o FILE.svg]\n";
inline constexpr char help_view[] =
    "\n"
    "Draws the output that a notes file (segmix-batch's lines) has made into one\n"
    "SVG picture: FILE.svg, or <outfile>.svg when -o is left out. It renders\n"
    "nothing and changes no other file: each line is planned as its run plans it\n"
    "and placed where the runs placed it, and <outfile>.whd and .dat are read.\n"
    "Every line must name the same outfile.\n"
    "\n"
    "The picture: the waveform (per pixel column the lowest and highest sample,\n"
    "200 columns a second, rows of 8 s); each note as a band with its line number,\n"
    "its source and its envelope (hover for its line and its plan); violet where\n"
    "it mixes into the output before it, grey for gaps and rests, red ticks where\n"
    "samples clip (at +-32767); the lines that changed nothing listed below.\n"
    "\n"
    "Exit status: 0 when the picture was written; 1 when it was not, after one\n"
    "line that says why; 2 when the arguments are wrong.\n"
    "\n"
    "Example:\n"
    "  segmix-view phrase.txt -o phrase.svg\n";
// %s is the notes file's name.
inline constexpr char view_unreadable[] = "segmix-view: cannot read %s\n";
inline constexpr char view_no_outfile[] = "segmix-view: %s names no outfile\n";
// The notes file, the first outfile, the other one and its line number.
inline constexpr char view_outfiles[] =
    "segmix-view: %s names several outfiles (%s, then %s on line %ld): draw one phrase at a time\n";
// %s is the header file's name.
inline constexpr char view_no_output[] = "segmix-view: no output to draw: %s is missing\n";
inline constexpr char view_bad_header[] = "segmix-view: not an output's header file: %s\n";
// Before a failed operation's line, as the runs print it.
inline constexpr char view_prefix[] = "segmix-view: ";
// %s is the data file's name.
inline constexpr char view_too_long[] = "segmix-view: too long to draw: %s\n";
inline constexpr char view_memory[] = "segmix-view: out of memory\n";
// A notice; the picture is still written. %s says how the files and the notes disagree.
inline constexpr char view_mismatch[] = "segmix-view: %s\n";

} // namespace msg

// What a layer below the spine has to say. Each code is one message of the
// table in text_of; the operands a message needs travel with it.
enum class Code {
    ok, // nothing to say
    not_riff,
    not_wave,
    only_16bit,
    source_short,
    bad_fmt_size,
    no_data,
    bad_block_align,
    negative_rate,
    note_range,
    malloc_buffer,
    malloc_overlap,
    malloc_binload,
    read_binload,
    large_binload,
    header_short,    // file
    header_negative, // file
    riff_range,      // file
    data_short,      // file
    output_large,    // file
    file_failed,     // op, file
    journal_stale,   // file
    journal_foreign, // file
    journal_large,   // file
    not_regular,     // file
    output_busy,     // file: the outfile
    output_folder,   // file: the outfile
    join_same,       // file
};

struct Report {
    Code code = Code::ok;
    const char *op = nullptr; // the operation that failed: "open", "read", "write", ...
    std::string file;         // the file the message names
    int error = 0;            // the system's error number for a failed operation, 0 if none

    explicit operator bool() const { return code != Code::ok; }
};

// What a step says: a notice that the run goes on after, and the refusal that
// ends it (either may be empty).
struct Said {
    Report notice;
    Report refusal;
};

inline Report report(Code code, std::string file = {})
{
    return {code, nullptr, std::move(file), 0};
}

inline Report failure(const char *op, std::string file, int error = 0)
{
    return {Code::file_failed, op, std::move(file), error};
}

// The message of a code: a format with "%s" for the file (and, for
// file_failed, the operation before it), or a plain line.
inline const char *text_of(Code code)
{
    switch (code) {
    case Code::ok: return "";
    case Code::not_riff: return msg::not_riff;
    case Code::not_wave: return msg::not_wave;
    case Code::only_16bit: return msg::only_16bit;
    case Code::source_short: return msg::source_short;
    case Code::bad_fmt_size: return msg::bad_fmt_size;
    case Code::no_data: return msg::no_data;
    case Code::bad_block_align: return msg::bad_block_align;
    case Code::negative_rate: return msg::negative_rate;
    case Code::note_range: return msg::note_range;
    case Code::malloc_buffer: return msg::malloc_buffer;
    case Code::malloc_overlap: return msg::malloc_overlap;
    case Code::malloc_binload: return msg::malloc_binload;
    case Code::read_binload: return msg::read_binload;
    case Code::large_binload: return msg::large_binload;
    case Code::header_short: return msg::header_short;
    case Code::header_negative: return msg::header_negative;
    case Code::riff_range: return msg::riff_range;
    case Code::data_short: return msg::data_short;
    case Code::output_large: return msg::output_large;
    case Code::file_failed: return msg::file_failed;
    case Code::journal_stale: return msg::journal_stale;
    case Code::journal_foreign: return msg::journal_foreign;
    case Code::journal_large: return msg::journal_large;
    case Code::not_regular: return msg::not_regular;
    case Code::output_busy: return msg::output_busy;
    case Code::output_folder: return msg::output_folder;
    case Code::join_same: return msg::join_same;
    }
    return "";
}
