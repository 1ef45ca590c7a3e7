// The command line of one note: the sample rate from the environment, the
// fifteen positional parameters, and the seven time points they define.
#pragma once

#include <cstdint>

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

// Microseconds from the start of the source, in their order along the note.
struct TimePoints {
    double t_start = 0, t_p1 = 0, t_p2 = 0, t_p5 = 0, t_p3 = 0, t_p4 = 0, t_end = 0;
    double t_ovr = 0;
};

inline constexpr int min_argc = 7;        // program name, outfile, infile and four numbers
inline constexpr int long_form_argc = 12; // from here p3, v1 .. v4 are read
inline constexpr int ovr_argc = 13;
inline constexpr int p4_argc = 14;
inline constexpr int p5_argc = 16;

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
// volume scaling, computes the time points, and checks them. Prints the
// invalid-parameters message and returns false when the check fails or when
// offset or length holds no number or any value is not finite.
bool read_note_args(int argc, const char *const *argv, NoteArgs *args, TimePoints *tp);
