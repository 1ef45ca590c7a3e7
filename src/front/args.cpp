#include "front/args.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

static bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// from_chars reports a decimal number beyond the double range without a value.
// Tell overflow (infinity, as formatted scanning gives) from underflow (zero)
// by where the first significant digit stands.
static double out_of_range_value(const char *digits, const char *end)
{
    const char *mantissa_end = digits;
    while (mantissa_end < end && *mantissa_end != 'e' && *mantissa_end != 'E')
        ++mantissa_end;
    const char *point = mantissa_end;
    const char *first = mantissa_end;
    for (const char *q = digits; q < mantissa_end; ++q) {
        if (*q == '.')
            point = q;
        else if (*q != '0' && first == mantissa_end)
            first = q;
    }
    // Positive when the first significant digit stands before the point.
    long long magnitude = point - first;
    if (mantissa_end < end) {
        const char *e = mantissa_end + 1;
        const bool negative = *e == '-';
        if (*e == '+' || *e == '-')
            ++e;
        long long exponent = 0;
        for (; e < end; ++e)
            if (exponent < 100000000000000000LL)
                exponent = exponent * 10 + (*e - '0');
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude > 0 ? HUGE_VAL : 0.0;
}

bool read_number(const char *text, double *value)
{
    if (!text)
        return false;
    const char *p = text;
    while (is_space(*p))
        ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-')
        ++p;
    const char *digits = p;
    int count = 0;
    for (; is_digit(*p); ++p)
        ++count;
    if (*p == '.')
        for (++p; is_digit(*p); ++p)
            ++count;
    if (count == 0)
        return false;
    const char *end = p;
    if (*p == 'e' || *p == 'E') {
        const char *e = p + 1;
        if (*e == '+' || *e == '-')
            ++e;
        if (is_digit(*e)) { // "1e" is 1 followed by text
            while (is_digit(*e))
                ++e;
            end = e;
        }
    }
    double v = 0;
    const std::from_chars_result r = std::from_chars(digits, end, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range)
        v = out_of_range_value(digits, end);
    else if (r.ec != std::errc{} || r.ptr != end)
        return false;
    *value = negative ? -v : v;
    return true;
}

bool read_rate(const char *samples, std::int32_t *rate)
{
    long long value = 0;
    if (samples) {
        const char *p = samples;
        while (is_space(*p))
            ++p;
        const bool negative = *p == '-';
        if (*p == '+' || *p == '-')
            ++p;
        // Stop growing once past every valid rate: the value is refused anyway.
        for (; is_digit(*p); ++p)
            if (value <= max_rate)
                value = value * 10 + (*p - '0');
        if (negative)
            value = -value;
    }
    if (value < 0 || value > max_rate)
        return false;
    *rate = value == 0 ? default_rate : static_cast<std::int32_t>(value);
    return true;
}

double tempo_length(const char *text, double n)
{
    const char *at = std::strchr(text, '@');
    double tempo = 120;
    double adjust = 0;
    read_number(at + 1, &tempo);
    const char *sign = std::strchr(at + 1, '+');
    if (!sign)
        sign = std::strchr(at + 1, '-');
    if (sign)
        read_number(sign, &adjust);
    return (((60000 / tempo) * n) / 480) + adjust;
}

static void compute_time_points(int argc, const NoteArgs &a, TimePoints *tp)
{
    auto &t = tp->t;
    t[pt::start] = a.offset * 1000;
    t[pt::p1] = (a.offset + a.p1) * 1000;
    t[pt::end] = (a.length + a.offset) * 1000;
    if (argc >= long_form_argc) {
        t[pt::p2] = ((a.offset + a.p1) + a.p2) * 1000;
        t[pt::p5] = (((a.offset + a.p1) + a.p2) + a.p5) * 1000;
        t[pt::p3] = (((a.length + a.offset) - a.p4) - a.p3) * 1000;
        t[pt::p4] = ((a.length + a.offset) - a.p4) * 1000;
    } else {
        // The short form: p2 counts back from the end of the note.
        t[pt::p2] = ((a.length + a.offset) - a.p2) * 1000;
        t[pt::p5] = t[pt::p2];
        t[pt::p3] = t[pt::end];
        t[pt::p4] = t[pt::end];
    }
}

static bool is_finite(double v)
{
    return std::isfinite(v);
}

bool read_note_args(int argc, const char *const *argv, NoteArgs *args, TimePoints *tp)
{
    NoteArgs a;
    a.outfile = argv[arg::outfile];
    a.infile = argv[arg::infile];
    a.v1 = 100, a.v2 = 100, a.v5 = 100;
    const bool have_offset = read_number(argv[arg::offset], &a.offset);
    const bool have_length = read_number(argv[arg::length], &a.length);
    read_number(argv[arg::p1], &a.p1);
    read_number(argv[arg::p2], &a.p2);
    if (have_length && std::strchr(argv[arg::length], '@'))
        a.length = tempo_length(argv[arg::length], a.length);
    if (argc >= long_form_argc) {
        read_number(argv[arg::p3], &a.p3);
        read_number(argv[arg::v1], &a.v1);
        read_number(argv[arg::v2], &a.v2);
        read_number(argv[arg::v3], &a.v3);
        read_number(argv[arg::v4], &a.v4);
        a.p5 = 0;
        a.v5 = a.v2;
        if (argc >= p4_argc)
            read_number(argv[arg::p4], &a.p4);
        if (argc >= p5_argc) {
            read_number(argv[arg::p5], &a.p5);
            read_number(argv[arg::v5], &a.v5);
        }
    }
    compute_time_points(argc, a, tp);
    if (argc >= ovr_argc)
        read_number(argv[arg::ovr], &a.ovr);
    a.v1 *= 0.01, a.v2 *= 0.01, a.v3 *= 0.01, a.v4 *= 0.01, a.v5 *= 0.01;
    tp->t_ovr = a.ovr * 1000;
    *args = a;
    // A note needs a start and a length, and the renderer needs finite numbers.
    const double volumes[] = {a.v1, a.v2, a.v3, a.v4, a.v5, tp->t_ovr};
    return have_offset && have_length && std::ranges::all_of(volumes, is_finite) &&
           std::ranges::all_of(tp->t, is_finite) && std::ranges::is_sorted(tp->t);
}

Volumes volumes_of(const NoteArgs &a)
{
    return {a.v1, a.v2, a.v3, a.v4, a.v5};
}
