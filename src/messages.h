// Every text the tools print, in one place. The two Japanese messages are
// Shift-JIS (code page 932) bytes, written as escapes so that the source file's
// own encoding cannot change them.
#pragma once

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

inline constexpr char join_usage[] = "segjoin <outfile> [<wavfile>]\n";

// segmix-batch. Its own lines go to standard error, so that standard output
// holds exactly what the runs print.
inline constexpr char batch_usage[] = "segmix-batch [FILE|-]\n";
// %s is the input's name.
inline constexpr char batch_unreadable[] = "segmix-batch: cannot read %s\n";
// %ld is the line number.
inline constexpr char batch_open_quote[] = "segmix-batch: line %ld: unbalanced quote\n";
inline constexpr char batch_open_escape[] = "segmix-batch: line %ld: backslash at the end of the line\n";
// The summary: runs, failed runs, then seconds; the second form lists the
// failed runs' line numbers ("3, 7, 12") before the seconds.
inline constexpr char batch_summary[] = "segmix-batch: %ld runs, %ld failed, %.3f s\n";
inline constexpr char batch_summary_failed[] = "segmix-batch: %ld runs, %ld failed (lines %s), %.3f s\n";

} // namespace msg
