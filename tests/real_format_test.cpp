// Real numbers in the score and on the console are printf's "%f" of the value,
// byte for byte. formatReal is compared with snprintf over millions of
// floats (widened to double, as the score prints them) of every kind, and
// over doubles, which the console prints in one place.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "fixed_text.hpp"
#include "real_format.hpp"
#include "score_writer.hpp"
#include "test_support.hpp"

namespace {

using grain::formatReal;

// Counts the values compared and reports the first few that differ.
class FormatChecker {
public:
    void check(double value) {
        char ours[grain::maxDoubleTextLength + 16];
        char theirs[grain::maxDoubleTextLength + 16];
        char* end = formatReal(ours, value);
        *end = '\0';
        std::snprintf(theirs, sizeof theirs, "%f", value);
        ++count_;
        if (std::strcmp(ours, theirs) != 0 && ++failures_ <= 10)
            ADD_FAILURE() << "formatReal(" << std::hexfloat << value << ") gave \"" << ours << "\", printf \""
                          << theirs << "\"";
    }
    // A float is printed by formatReal of its double and by formatFloat of
    // its own bits; both must give printf's text.
    void checkFloat(float value) {
        check(static_cast<double>(value));
        char ours[grain::maxDoubleTextLength + 16];
        char theirs[grain::maxDoubleTextLength + 16];
        *grain::formatFloat(ours, value) = '\0';
        std::snprintf(theirs, sizeof theirs, "%f", static_cast<double>(value));
        if (std::strcmp(ours, theirs) != 0 && ++failures_ <= 10)
            ADD_FAILURE() << "formatFloat(" << std::hexfloat << value << ") gave \"" << ours << "\", printf \""
                          << theirs << "\"";
    }
    long long count() const { return count_; }

private:
    long long count_ = 0;
    int failures_ = 0;
};

float floatOfBits(std::uint32_t bits) { return std::bit_cast<float>(bits); }

TEST(RealFormat, PrintsLikePrintfForTenMillionFloats) {
    FormatChecker checker;
    std::mt19937_64 random(20240611);

    // Random bit patterns: every exponent, both signs, subnormals, zeros,
    // infinities (NaN apart, see below).
    for (int i = 0; i < 4'000'000; ++i) {
        float value = floatOfBits(static_cast<std::uint32_t>(random()));
        if (!std::isnan(value)) checker.checkFloat(value);
    }
    // Near the halfway points between two six-decimal texts, k + 1/2 millionths:
    // the float nearest to each and its neighbours.
    std::uniform_int_distribution<std::int64_t> millionths(0, 20'000'000'000LL);
    for (int i = 0; i < 1'000'000; ++i) {
        auto halfway = static_cast<float>((static_cast<double>(millionths(random)) + 0.5) / 1e6);
        checker.checkFloat(halfway);
        checker.checkFloat(std::nextafter(halfway, 0.0f));
        checker.checkFloat(std::nextafter(halfway, FLT_MAX));
    }
    // Exact halfway cases: k / 2^s with k odd, for shifts up to 27, e.g. 1/128.
    for (int shift = 1; shift <= 27; ++shift)
        for (int i = 0; i < 20'000; ++i) {
            auto k = static_cast<std::uint32_t>(random() % (1u << 24)) | 1u;
            checker.checkFloat(std::ldexp(static_cast<float>(k), -shift));
        }
    // Integers, small and up to 2^44 and beyond.
    for (int i = 0; i < 1'000'000; ++i) {
        checker.checkFloat(static_cast<float>(random() % 100'000));
        checker.checkFloat(static_cast<float>(random() >> (random() % 64)));
    }
    // Tiny and subnormal values, down to the smallest float.
    for (int i = 0; i < 1'000'000; ++i) {
        auto bits = static_cast<std::uint32_t>(random() % (120u << 23));  // exponents below 2^-7
        checker.checkFloat(floatOfBits(bits));
        checker.checkFloat(-floatOfBits(bits));
    }
    // Huge values up to FLT_MAX.
    for (int i = 0; i < 500'000; ++i) {
        auto bits = static_cast<std::uint32_t>((140u << 23) + random() % ((255u - 140u) << 23));
        checker.checkFloat(floatOfBits(bits));
    }
    // Values that round up across a power of ten (9.9999995 -> 10.000000) and
    // their neighbours, at every power.
    for (int power = -6; power <= 12; ++power) {
        double limit = std::pow(10.0, power) - 0.5e-6;
        auto value = static_cast<float>(limit);
        for (int step = 0; step < 64; ++step) value = std::nextafter(value, 0.0f);
        for (int step = 0; step < 128; ++step) {
            checker.checkFloat(value);
            checker.checkFloat(-value);
            value = std::nextafter(value, FLT_MAX);
        }
    }
    // Statement-like values: times, angles, distances, frequencies.
    std::uniform_real_distribution<float> everyday(-400.0f, 20000.0f);
    for (int i = 0; i < 1'000'000; ++i) checker.checkFloat(everyday(random));
    for (float value : {0.0f, -0.0f, 1.0f, -1.0f, 0.1f, 9.9999995f, 0.0000005f, 0.0000015f, 0.0078125f,
                        FLT_MIN, -FLT_MIN, FLT_TRUE_MIN, FLT_MAX, -FLT_MAX, 16777216.0f, 17592186044416.0f,
                        std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()})
        checker.checkFloat(value);
    EXPECT_GE(checker.count(), 10'000'000);
}

TEST(RealFormat, PrintsLikePrintfForDoubles) {
    FormatChecker checker;
    std::mt19937_64 random(77);
    // Any bit pattern: most are tiny or huge, the huge ones print all their digits.
    for (int i = 0; i < 20'000; ++i) {
        double value = std::bit_cast<double>(random());
        if (!std::isnan(value)) checker.check(value);
    }
    // Doubles of everyday size with all 53 bits in use, and halfway cases.
    std::uniform_real_distribution<double> everyday(-1e6, 1e6);
    for (int i = 0; i < 500'000; ++i) checker.check(everyday(random));
    std::uniform_int_distribution<std::int64_t> millionths(0, 9'000'000'000'000LL);
    for (int i = 0; i < 200'000; ++i) {
        double halfway = (static_cast<double>(millionths(random)) + 0.5) / 1e6;
        checker.check(halfway);
        checker.check(std::nextafter(halfway, 0.0));
        checker.check(std::nextafter(halfway, 1e300));
    }
    // Around 2^43, where the exact integer path hands over to the library.
    for (double base : {0x1p43, 0x1p44, 0x1p52, 0x1p53, 0x1p64})
        for (int step = -200; step <= 200; ++step) checker.check(base + step * 0.125);
    // A grainlet duration as additivescore shows it: 1/k before rounding to float.
    for (int k = 1; k <= 5000; ++k) checker.check(1.0 / k);
    for (double value : {0.0, -0.0, DBL_MIN, DBL_TRUE_MIN, -DBL_TRUE_MIN, DBL_MAX, -DBL_MAX, 0.0000005,
                         -0.0000005, 2.5e-7, std::numeric_limits<double>::infinity()})
        checker.check(value);
}

TEST(RealFormat, NotANumberPrintsLikePrintf) {
    FormatChecker checker;
    checker.check(std::numeric_limits<double>::quiet_NaN());
    checker.check(-std::numeric_limits<double>::quiet_NaN());
}

TEST(RealFormat, StringFormMatchesTheBufferForm) {
    EXPECT_EQ(formatReal(0.1f), "0.100000");
    EXPECT_EQ(formatReal(-2.5), "-2.500000");
    EXPECT_EQ(formatReal(30.0f), "30.000000");
    EXPECT_EQ(formatReal(static_cast<double>(FLT_MAX)), "340282346638528859811704183484516925440.000000");
    EXPECT_EQ(formatReal(-1e-9), "-0.000000");
}

// The pictures and flockpaths' files and console lines write numbers with
// fixedText: printf's "%.*f" text at every precision they use, except that a
// value that rounds to zero shows no minus sign.
TEST(FixedText, PrintsLikePrintfAtEveryPrecisionInUse) {
    struct Row {
        int decimals;
        const char* where;
    };
    const Row rows[] = {
        {0, "tick labels"},
        {1, "picture coordinates, the sphere's radius, tick labels"},
        {2, "opacities, stroke widths and times in the pictures, tick labels"},
        {3, "the flock's sampling interval in its picture, tick labels"},
        {4, "coordinate files, tick labels"},
        {5, "tick labels"},
        {6, "flockpaths' console: interval and flight, tick labels"},
    };
    std::mt19937_64 random(2031);
    std::uniform_real_distribution<double> everyday(-20000.0, 20000.0);
    std::uniform_real_distribution<double> small(-0.01, 0.01);
    for (const Row& row : rows) {
        const double scale = std::pow(10.0, row.decimals);
        long long compared = 0;
        int failures = 0;
        auto check = [&](double value) {
            char theirs[400];
            std::snprintf(theirs, sizeof theirs, "%.*f", row.decimals, value);
            std::string expected = theirs;
            if (expected[0] == '-' && expected.find_first_not_of("-0.") == std::string::npos) expected.erase(0, 1);
            ++compared;
            if (grain::fixedText(value, row.decimals) != expected && ++failures <= 5)
                ADD_FAILURE() << row.decimals << " decimals (" << row.where << "): fixedText(" << std::hexfloat
                              << value << ") gave \"" << grain::fixedText(value, row.decimals) << "\", printf \""
                              << expected << "\"";
        };
        for (int i = 0; i < 100'000; ++i) {
            check(everyday(random));
            check(small(random));  // many round to zero, with and without a sign
        }
        // Halfway between two texts, the nearest double and its neighbours,
        // and exact halves (k / 2^s), which printf takes to the even digit.
        for (int i = 0; i < 50'000; ++i) {
            const double halfway = (static_cast<double>(random() % 2'000'000'000) - 1e9 + 0.5) / scale;
            check(halfway);
            check(std::nextafter(halfway, -1e300));
            check(std::nextafter(halfway, 1e300));
            check(std::ldexp(static_cast<double>(static_cast<long long>(random() % 2'000'001) - 1'000'000),
                             -static_cast<int>(random() % 24)));
        }
        for (double value : {0.0, -0.0, 0.5, -0.5, 1.5, 2.5, -2.5, 0.03125, -0.03125, 179.99996, -170.4485, 1e21,
                             -1e21, DBL_MAX, -DBL_MAX, DBL_TRUE_MIN, -DBL_TRUE_MIN,
                             std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()})
            check(value);
        EXPECT_GE(compared, 400'000) << row.where;
    }
}

// A grain statement is the text of the program's printf format, for every
// program, whatever its values.
TEST(GrainStatement, IsThePrintfTextOfEveryField) {
    std::mt19937_64 random(5);
    std::uniform_real_distribution<float> everyday(-400.0f, 20000.0f);
    auto any = [&]() {
        return random() % 4 == 0 ? floatOfBits(static_cast<std::uint32_t>(random()) & 0xff7fffffu)
                                 : everyday(random);
    };
    char ours[grain::maxStatementLength + 16];
    char theirs[grain::maxStatementLength + 600];
    for (int i = 0; i < 200'000; ++i) {
        grain::GrainEvent e;
        e.srt = any(), e.dur = any(), e.voice = static_cast<int>(random()), e.phase = any();
        e.aziOld = any(), e.azi = any(), e.elevOld = any(), e.elev = any(), e.distOld = any(), e.dist = any();
        e.grainDur = any(), e.own = {any(), any()};
        for (auto program : {grain::Program::glisson, grain::Program::granule, grain::Program::additive}) {
            *grain::formatEvent(ours, program, e) = '\0';
            const char* fourteen = "i1\t %f\t %f\t %d\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\n";
            const char* thirteen = "i1\t %f\t %f\t %d\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\n";
            auto common = [&](const char* format, auto... last) {
                std::snprintf(theirs, sizeof theirs, format, double(e.srt), double(e.dur), e.voice, double(e.phase),
                              double(e.aziOld), double(e.azi), double(e.elevOld), double(e.elev),
                              double(e.distOld), double(e.dist), double(e.grainDur), double(last)...);
            };
            if (program == grain::Program::additive)
                common(thirteen, e.own[0]);
            else
                common(fourteen, e.own[0], e.own[1]);
            ASSERT_STREQ(ours, theirs);
        }
    }
}

// The score writer copies a field's text when the same float was written
// there last (the previous grain's point, durations that hold): the score is
// still printf's text, when a value repeats in the same statement, in the next
// one, or across the blocks in which the score is written out.
TEST(GrainStatement, ScoreTextIsPrintfsWhenValuesRepeat) {
    grain::testing::TempFolder folder;
    std::mt19937_64 random(11);
    std::uniform_real_distribution<float> everyday(-400.0f, 20000.0f);
    std::vector<float> pool;  // few values, so that they come again often
    for (int i = 0; i < 6; ++i) pool.push_back(everyday(random));
    pool.push_back(0.0f);
    pool.push_back(-0.0f);
    pool.push_back(3.0e20f);  // a text too long to be kept
    auto any = [&]() { return pool[random() % pool.size()]; };
    for (auto program : {grain::Program::glisson, grain::Program::granule, grain::Program::additive}) {
        grain::ScoreWriter writer;
        ASSERT_TRUE(grain::openScore(writer, program, folder.path()));
        std::string expected;
        char line[grain::maxStatementLength + 600];
        float previous[3] = {0.0f, 0.0f, 0.0f};
        float previousEnd = 0.0f;
        for (int i = 0; i < 30'000; ++i) {  // several megabytes: blocks are written out
            grain::GrainEvent e;
            e.srt = any(), e.dur = any(), e.voice = i / 1000, e.phase = any(), e.grainDur = any();
            e.aziOld = previous[0], e.elevOld = previous[1], e.distOld = previous[2];
            e.azi = random() % 3 == 0 ? e.aziOld : any();
            e.elev = any(), e.dist = any(), e.own = {any(), any()};
            // A glissando often starts where the last one ended.
            if (program == grain::Program::glisson && random() % 2 == 0) e.own[0] = previousEnd;
            previousEnd = e.own[1];
            previous[0] = e.azi, previous[1] = e.elev, previous[2] = e.dist;
            grain::writeEvent(writer, e);
            std::snprintf(line, sizeof line, "i1\t %f\t %f\t %d\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f", double(e.srt),
                          double(e.dur), e.voice, double(e.phase), double(e.aziOld), double(e.azi),
                          double(e.elevOld), double(e.elev), double(e.distOld), double(e.dist), double(e.grainDur));
            expected += line;
            if (program == grain::Program::additive)
                std::snprintf(line, sizeof line, "\t %f\n", double(e.own[0]));
            else
                std::snprintf(line, sizeof line, "\t %f\t %f\n", double(e.own[0]), double(e.own[1]));
            expected += line;
        }
        std::ostringstream console;
        grain::RunParameters parameters;
        ASSERT_TRUE(grain::finishScore(writer, parameters, console));
        std::string score = grain::testing::readText(folder.path() / grain::scoreFileName(program));
        auto first = score.find("i1\t");
        ASSERT_NE(first, std::string::npos);
        EXPECT_TRUE(score.compare(first, expected.size(), expected) == 0) << "program " << static_cast<int>(program);
    }
}

}  // namespace
