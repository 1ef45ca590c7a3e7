// The command line: number reading, the sample rate, the forms by argument
// count, the tempo form, the time points and their check.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "front/args.h"
#include "front/run.h"

namespace {

struct NumberCase {
    const char *text;
    bool found;
    double value;
};

TEST(ReadNumber, TakesTheLongestDecimalPrefix)
{
    const NumberCase cases[] = {
        {"12", true, 12},          {"12ms", true, 12},      {"  \t\n3.5x", true, 3.5},
        {"+5", true, 5},           {"-0.25", true, -0.25},  {".5", true, 0.5},
        {"5.", true, 5},           {"1e", true, 1},         {"1e+", true, 1},
        {"1e-2", true, 0.01},      {"1.2e+2", true, 120},   {"2E3", true, 2000},
        {"100@120+5", true, 100},  {"1,5", true, 1},        {"0x10", true, 0},
        {"1e400", true, HUGE_VAL}, {"-1e400", true, -HUGE_VAL},
        {"1e-400", true, 0},       {"0.000001e-320", true, 0},
        {"inf", false, 0},         {"nan", false, 0},       {"", false, 0},
        {"abc", false, 0},         {".", false, 0},         {"+-5", false, 0},
        {"- 5", false, 0},         {"@120", false, 0},      {"e5", false, 0},
    };
    for (const NumberCase &c : cases) {
        double v = -777;
        EXPECT_EQ(read_number(c.text, &v), c.found) << c.text;
        EXPECT_EQ(v, c.found ? c.value : -777) << c.text;
    }
    double v = -777;
    EXPECT_FALSE(read_number(nullptr, &v));
    // Correctly rounded, as a decimal reader must be.
    ASSERT_TRUE(read_number("0.1", &v));
    EXPECT_EQ(v, 0.1);
    ASSERT_TRUE(read_number("104.16666666666667", &v));
    EXPECT_EQ(v, 104.16666666666667);
}

TEST(ReadRate, FromTheEnvironmentValue)
{
    struct Case {
        const char *text;
        bool ok;
        std::int32_t rate;
    } cases[] = {
        {nullptr, true, 44100},       {"", true, 44100},           {"0", true, 44100},
        {"abc", true, 44100},         {"22050", true, 22050},      {"22050Hz", true, 22050},
        {"  +8000", true, 8000},      {"1073741823", true, 1073741823},
        {"1073741824", false, 0},     {"-1", false, 0},            {"99999999999999999999", false, 0},
    };
    for (const Case &c : cases) {
        std::int32_t rate = 0;
        EXPECT_EQ(read_rate(c.text, &rate), c.ok) << (c.text ? c.text : "(unset)");
        if (c.ok) {
            EXPECT_EQ(rate, c.rate) << (c.text ? c.text : "(unset)");
        }
    }
}

TEST(TempoForm, LengthInBeats)
{
    struct Case {
        const char *text;
        double length;
    } cases[] = {
        {"100@120", 104.16666666666667}, {"480@120+5", 505},   {"480@120-5", 495},
        {"480@", 500},                   {"480@90-5+3", 669.6666666666666},
        {"480@1.2e+2", 502},             {"480@+5", 12005},    {"480@120+", 500},
    };
    for (const Case &c : cases) {
        double n = 0;
        ASSERT_TRUE(read_number(c.text, &n));
        EXPECT_EQ(tempo_length(c.text, n), c.length) << c.text;
    }
}

struct Parsed {
    bool ok;
    NoteArgs a;
    TimePoints t;
};

Parsed parse(std::vector<const char *> params)
{
    params.insert(params.begin(), "segmix");
    Parsed p{};
    p.ok = read_note_args(static_cast<int>(params.size()), params.data(), &p.a, &p.t);
    return p;
}

using Points = std::array<double, pt::count>;

TEST(NoteArgs, ShortFormReadsOnlyTheFirstFour)
{
    // Six and ten parameters: both the short form; p3 and the volumes are ignored.
    for (auto params : {std::vector<const char *>{"o", "i", "10", "100", "20", "30"},
                        std::vector<const char *>{"o", "i", "10", "100", "20", "30", "5", "50",
                                                  "60", "70"}}) {
        const Parsed p = parse(params);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.t.t, (Points{10000, 30000, 80000, 80000, 110000, 110000, 110000}));
        EXPECT_EQ(p.a.p3, 0);
        EXPECT_EQ(p.a.v1, 1.0);
        EXPECT_EQ(p.a.v2, 1.0);
        EXPECT_EQ(p.a.v5, 1.0);
        EXPECT_EQ(p.a.v3, 0);
        EXPECT_EQ(p.a.v4, 0);
        EXPECT_EQ(p.t.t_ovr, 0);
    }
}

TEST(NoteArgs, LongFormByCount)
{
    const char *all[] = {"o", "i", "0", "500", "50", "100", "80", "70", "60", "50", "40", "12", "40", "30", "90"};
    struct Case {
        int params;
        double ovr, p4, p5, v5, t_ovr;
    } cases[] = {
        {11, 0, 0, 0, 0.6, 0},       // ovr, p4, p5 not read; v5 follows v2
        {12, 12, 0, 0, 0.6, 12000},  // ovr read
        {13, 12, 40, 0, 0.6, 12000}, // p4 read
        {14, 12, 40, 0, 0.6, 12000}, // the fourteenth (p5) is not
        {15, 12, 40, 30, 0.9, 12000},
    };
    for (const Case &c : cases) {
        const Parsed p = parse(std::vector<const char *>(all, all + c.params));
        ASSERT_TRUE(p.ok) << c.params;
        EXPECT_EQ(p.a.ovr, c.ovr) << c.params;
        EXPECT_EQ(p.a.p4, c.p4) << c.params;
        EXPECT_EQ(p.a.p5, c.p5) << c.params;
        EXPECT_EQ(p.a.v5, c.v5) << c.params;
        EXPECT_EQ(p.a.v1, 0.7000000000000001); // 70 times 0.01, not 70 / 100
        EXPECT_EQ(p.t.t_ovr, c.t_ovr) << c.params;
    }
    const Parsed p = parse(std::vector<const char *>(all, all + 15));
    EXPECT_EQ(p.t.t, (Points{0, 50000, 150000, 180000, 380000, 460000, 500000}));
    // A v5 with no number keeps v2's value.
    const char *no_v5[] = {"o", "i", "0", "500", "50", "100", "80", "70", "60", "50", "40", "12", "40", "30", "x"};
    EXPECT_EQ(parse(std::vector<const char *>(no_v5, no_v5 + 15)).a.v5, 0.6);
}

TEST(NoteArgs, OrderingAndValidity)
{
    struct Case {
        std::vector<const char *> params;
        bool ok;
    } cases[] = {
        {{"o", "i", "0", "0", "0", "0"}, true},            // every point equal
        {{"o", "i", "-100", "50", "0", "0"}, true},        // a negative offset passes
        {{"o", "i", "0", "100", "60", "40"}, true},        // p1 + p2 == length
        {{"o", "i", "0", "100", "60", "41"}, false},       // short form p1 + p2 > length
        {{"o", "i", "0", "100", "-1", "0"}, false},
        {{"o", "i", "0", "100", "10", "10", "10", "100", "100", "0", "0", "0", "80"}, false},
        {{"o", "i", "0", "100", "10", "10", "10", "1e999", "100", "0", "0"}, false}, // infinite volume
        {{"o", "i", "x", "100", "0", "0"}, false},         // offset holds no number
        {{"o", "i", "0", "@120", "0", "0"}, false},        // length holds no number
        {{"o", "i", "0", "480@0", "0", "0"}, false},       // tempo 0: infinite length
        {{"o", "i", "1e306", "1e306", "0", "0"}, false},   // time points overflow
        {{"o", "i", "0", "100", "0", "0", "0", "100", "100", "0", "0", "1e400"}, false},
        {{"o", "i", "0", "480@120", "10", "20"}, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(parse(c.params).ok, c.ok) << c.params[2] << " " << c.params[3];
}

TEST(RunNote, ArgumentCount)
{
    EXPECT_EQ(run_note_argc("5", "10"), 16);
    EXPECT_EQ(run_note_argc("", "10"), 12);
    EXPECT_EQ(run_note_argc(nullptr, "10"), 12);
    EXPECT_EQ(run_note_argc("5", ""), 13);
    EXPECT_EQ(run_note_argc("5", nullptr), 13);
    EXPECT_EQ(run_note_argc(nullptr, nullptr), 13);
}

} // namespace
