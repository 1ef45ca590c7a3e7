// The command line of one note: the sample rate from the environment, the
// fifteen positional parameters, and the seven time points they define.
#pragma once

#include <cstdint>

#include "render/note.h"

// The parameters once read: times in ms, volumes as fractions.
struct NoteArgs {
    const char *outfile = nullptr;
    const char *infile = nullptr;
    double offset = 0, length = 0;
    double p1 = 0, p2 = 0, p3 = 0;
    double v1 = 0, v2 = 0, v3 = 0, v4 = 0;
    double ovr = 0;
    double p4 = 0, p5 = 0;
    double v5 = 0;
};

// Where each parameter stands in argv, in the order of the usage line.
namespace arg {
enum : int { outfile = 1, infile, offset, length, p1, p2, p3, v1, v2, v3, v4, ovr, p4, p5, v5 };
} // namespace arg

// The argument counts (argv[0] included) from which parameters are read.
inline constexpr int min_argc = arg::p2 + 1;       // outfile, infile and four numbers: the short form
inline constexpr int long_form_argc = arg::v4 + 1; // p3, v1 .. v4: the long form
inline constexpr int ovr_argc = arg::ovr + 1;
inline constexpr int p4_argc = arg::p4 + 1;
inline constexpr int p5_argc = arg::v5 + 1;        // p5 and v5 together (a lone p5 is not read)

inline constexpr std::int32_t default_rate = 44100;
// The byte rate, twice the frame rate, is a signed 32-bit field.
inline constexpr std::int32_t max_rate = INT32_MAX / 2;

// Reads the longest leading decimal number of text (after white space: an
// optional sign, digits with an optional ".", an optional exponent) into
// *value. Returns false, leaving *value alone, when text holds no such number.
// Locale-independent; hex floats, "inf" and "nan" are not numbers here.
bool read_number(const char *text, double *value);

// The rate that the environment's samples value gives: leading white space,
// one sign and the digits up to the first other character; no digits or 0 give
// 44100. False when the value is negative or above max_rate.
bool read_rate(const char *samples, std::int32_t *rate);

// The tempo form: text holds "n@tempo[+adj|-adj]" and n has been read.
double tempo_length(const char *text, double n);

// Reads the parameters of argv by the argument count, the tempo form and the
// volume scaling, computes the time points, and checks them. False (the
// parameters are invalid) when the check fails, when offset or length holds no
// number, or when any value is not finite.
bool read_note_args(int argc, const char *const *argv, NoteArgs *args, TimePoints *tp);

// The five volumes of the parameters, for the renderer.
Volumes volumes_of(const NoteArgs &a);
