// Decimal numbers are read as the "%f" and "%d" conversions of formatted input
// read them: parseReal is compared with strtof over millions of texts of every
// kind, parseInteger with strtol. The differences are deliberate: a real
// beyond the float range is outOfRange (strtof gives infinity), and the
// texts strtof reads besides decimals (inf, nan, hexadecimal) are not numbers.
// Coordinate files, read block by block, give the same values wherever a
// number falls against the block boundary.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "coordinate_files.hpp"
#include "decimal_reader.hpp"
#include "real_format.hpp"
#include "test_support.hpp"

namespace {

using grain::NumberStatus;

// Compares parseReal of text with strtof: the same float, bit for bit, and
// the same end; outOfRange exactly where strtof overflows.
class ParseChecker {
public:
    ParseChecker() { std::setlocale(LC_NUMERIC, "C"); }

    void check(const std::string& text) {
        ++count_;
        const char* first = text.c_str();
        grain::RealParse parse = grain::parseReal(first, first + text.size());
        char* theirEnd = nullptr;
        float theirs = std::strtof(first, &theirEnd);
        bool same = true;
        if (theirEnd == first) {
            same = parse.status == NumberStatus::notANumber && parse.end == first;
        } else if (std::isinf(theirs)) {
            same = parse.status == NumberStatus::outOfRange && parse.end == theirEnd;
        } else {
            same = parse.status == NumberStatus::ok && parse.end == theirEnd &&
                   std::bit_cast<std::uint32_t>(parse.value) == std::bit_cast<std::uint32_t>(theirs);
        }
        if (!same && ++failures_ <= 10)
            ADD_FAILURE() << "\"" << text << "\": parseReal gave status " << static_cast<int>(parse.status) << " value "
                          << std::hexfloat << parse.value << " after " << (parse.end - first)
                          << " characters; strtof " << theirs << " after " << (theirEnd - first);
    }
    long long count() const { return count_; }

private:
    long long count_ = 0;
    int failures_ = 0;
};

std::string digits(std::mt19937_64& random, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += static_cast<char>('0' + random() % 10);
    return text;
}

// The exact decimal value of a point halfway between two floats, with all
// its digits: 25 significant bits times at most 2^-150 need at most 113.
std::string exactText(double value) {
    char text[160];
    std::snprintf(text, sizeof text, "%.120e", value);
    std::string exact = text;
    auto e = exact.find('e');
    auto lastDigit = exact.find_last_not_of('0', e - 1);
    return exact.substr(0, lastDigit + 1) + exact.substr(e);
}

TEST(DecimalReader, ReadsRealsLikeStrtofForTenMillionTexts) {
    ParseChecker checker;
    std::mt19937_64 random(424242);
    const char* signs[] = {"", "", "-", "+"};

    // Random digit strings of varied lengths, with or without a point and an
    // exponent, and signs.
    for (int i = 0; i < 5'000'000; ++i) {
        int length = 1 + static_cast<int>(random() % (random() % 8 == 0 ? 40 : 12));
        std::string text = digits(random, length);
        int point = static_cast<int>(random() % (length + 2));
        if (point <= length)
            text = text.substr(0, static_cast<std::size_t>(point)) + '.' + text.substr(static_cast<std::size_t>(point));
        if (random() % 3 == 0) {
            text += random() % 2 == 0 ? "e" : "E";
            text += signs[random() % 4];
            text += std::to_string(static_cast<int>(random() % (random() % 4 == 0 ? 60 : 12)));
        }
        checker.check(signs[random() % 4] + text);
    }
    // Coordinate-like texts: six decimals, as the patch and the score print them.
    std::uniform_real_distribution<float> everyday(-400.0f, 20000.0f);
    for (int i = 0; i < 2'500'000; ++i) checker.check(grain::formatReal(everyday(random)));

    // Halfway cases between adjacent floats, written with all their digits,
    // and just above and below them (one more digit, and the nearest
    // 17-digit texts).
    for (int i = 0; i < 400'000; ++i) {
        auto bits = static_cast<std::uint32_t>(random() % (254u << 23));
        float low = std::bit_cast<float>(bits), high = std::nextafter(low, FLT_MAX);
        double halfway = (static_cast<double>(low) + high) / 2;
        std::string exact = exactText(halfway);
        auto e = exact.find('e');
        checker.check(exact);
        checker.check(exact.substr(0, e) + "1" + exact.substr(e));
        std::string below = exact;
        // The last digit one lower (it is never 0).
        below[e - 1] = static_cast<char>(below[e - 1] - 1);
        checker.check(below);
        char shortText[64];
        std::snprintf(shortText, sizeof shortText, "%.16e", halfway);
        checker.check(shortText);
        if (i % 4 == 0) checker.check("-" + exact);
    }
    // The subnormal range and below it: values that round to the smallest
    // float, to zero, and the halfway points between subnormals.
    for (int i = 0; i < 250'000; ++i) {
        auto bits = static_cast<std::uint32_t>(random() % (1u << 23));
        float low = std::bit_cast<float>(bits);
        double halfway = (static_cast<double>(low) + std::nextafter(low, 1.0f)) / 2;
        checker.check(exactText(halfway));
        char text[64];
        std::snprintf(text, sizeof text, "%.9e", static_cast<double>(low));
        checker.check(text);
        std::snprintf(text, sizeof text, "%.3e", std::ldexp(static_cast<double>(random() % 4096), -160));
        checker.check(text);
    }
    // Texts beyond FLT_MAX, around it and far beyond.
    for (int i = 0; i < 200'000; ++i) {
        double value = static_cast<double>(FLT_MAX) * (1.0 + std::ldexp(static_cast<double>(random() % 4096), -36));
        char text[64];
        std::snprintf(text, sizeof text, "%.12e", value);
        checker.check(text);
        std::string huge = digits(random, 40 + static_cast<int>(random() % 30));
        checker.check(std::string(1, '-').append(huge));
    }
    // Forms at the edges of the grammar.
    for (const char* text :
         {".5", "5.", "+.5", "-5.", "+5", "-0", "0", "00000.00000", ".", "+", "-", "+.", "-.e5", "e5", "", "1e",
          "1e+", "1e-", "1E5", "1e+5", "2.5E-3x", "5.e2", ".5e1", "1e400", "1e-400", "-1e39", "3.4028235e38",
          "3.4028236e38", "1.17549435e-38", "1.4e-45", "7e-46", "7.1e-46", "1..5", "1.5.5", "--5", "+-5",
          "123456789012345678901234567890", "0.000000000000000000000000000000000000000000001401298464324817"})
        checker.check(text);
    EXPECT_GE(checker.count(), 10'000'000);
}

TEST(DecimalReader, LeadingBlanksAreNotSkipped) {
    std::string text = " 5";
    EXPECT_EQ(grain::parseReal(text.data(), text.data() + 2).status, NumberStatus::notANumber);
    EXPECT_EQ(grain::parseInteger(text.data(), text.data() + 2).status, NumberStatus::notANumber);
}

TEST(DecimalReader, InfinityNanAndHexadecimalAreNotNumbers) {
    for (std::string text : {"inf", "-inf", "INFINITY", "nan", "NaN(123)", "-nan"}) {
        auto parse = grain::parseReal(text.data(), text.data() + text.size());
        EXPECT_EQ(parse.status, NumberStatus::notANumber) << text;
        EXPECT_EQ(parse.end, text.data()) << text;
    }
    // A hexadecimal text is read as far as its decimal start, the 0.
    for (std::string text : {"0x1p3", "0X10", "-0x1.8p1"}) {
        auto parse = grain::parseReal(text.data(), text.data() + text.size());
        EXPECT_EQ(parse.status, NumberStatus::ok) << text;
        EXPECT_EQ(parse.value, 0.0f) << text;
        EXPECT_EQ(*parse.end, text.back() == '0' && text[1] == 'X' ? 'X' : 'x') << text;
    }
}

TEST(DecimalReader, BeyondTheFloatRangeIsOutOfRange) {
    for (std::string text : {"3.5e38", "-1e39", "1e400", "340282356779733661637539395458142568448"}) {
        auto parse = grain::parseReal(text.data(), text.data() + text.size());
        EXPECT_EQ(parse.status, NumberStatus::outOfRange) << text;
        EXPECT_EQ(parse.end, text.data() + text.size()) << text;
    }
    // Just below the rounding boundary to infinity: FLT_MAX.
    std::string largest = "340282356779733661637539395458142568447";
    auto parse = grain::parseReal(largest.data(), largest.data() + largest.size());
    EXPECT_EQ(parse.status, NumberStatus::ok);
    EXPECT_EQ(parse.value, FLT_MAX);
}

TEST(DecimalReader, AnExponentIsReadWithAllItsDigits) {
    // Short mantissas, as answers and coordinate files hold them, with
    // exponents of one to many digits: each is taken whole, so 1e100 is too
    // large and 1e-100 is 0, however far past the float range the exponent
    // goes, and leading zeros or a long mantissa move it as they should.
    struct Case {
        const char* text;
        NumberStatus status;
        float value;
    };
    const Case cases[] = {
        {"1e100", NumberStatus::outOfRange, 0.0f},
        {"-2.5e100", NumberStatus::outOfRange, 0.0f},
        {"1e-100", NumberStatus::ok, 0.0f},
        {"-1e-100", NumberStatus::ok, -0.0f},
        {"7e123456789012", NumberStatus::outOfRange, 0.0f},
        {"7e-123456789012", NumberStatus::ok, 0.0f},
        {"1e38", NumberStatus::ok, 1e38f},
        {"1e39", NumberStatus::outOfRange, 0.0f},
        {"1e-45", NumberStatus::ok, 1e-45f},
        {"0.0001e42", NumberStatus::ok, 1e38f},
        {"12345e-40", NumberStatus::ok, 12345e-40f},
        {"1e0000000000000000000000000000002", NumberStatus::ok, 100.0f},
        {"100000000000000000000000000000000000000000000000000e-50", NumberStatus::ok, 1.0f},
        {"0.00000000000000000000000000000000000000000000000001e50", NumberStatus::ok, 1.0f},
    };
    ParseChecker checker;
    for (const Case& c : cases) {
        const std::string text = c.text;
        auto parse = grain::parseReal(text.data(), text.data() + text.size());
        EXPECT_EQ(parse.status, c.status) << text;
        EXPECT_EQ(parse.end, text.data() + text.size()) << text;
        if (c.status == NumberStatus::ok) {
            EXPECT_EQ(std::bit_cast<std::uint32_t>(parse.value), std::bit_cast<std::uint32_t>(c.value)) << text;
        }
        checker.check(text);  // and as strtof reads it
    }
}

TEST(DecimalReader, ReadsIntegersLikeStrtolWithinTheIntRange) {
    std::mt19937_64 random(99);
    const char* signs[] = {"", "-", "+"};
    int failures = 0;
    auto check = [&](const std::string& text) {
        auto parse = grain::parseInteger(text.data(), text.data() + text.size());
        char* end = nullptr;
        errno = 0;
        long theirs = std::strtol(text.c_str(), &end, 10);
        bool same;
        if (end == text.c_str())
            same = parse.status == NumberStatus::notANumber && parse.end == text.data();
        else if (errno == ERANGE || theirs > INT_MAX || theirs < INT_MIN)
            same = parse.status == NumberStatus::outOfRange && parse.end == end;
        else
            same = parse.status == NumberStatus::ok && parse.value == theirs && parse.end == end;
        if (!same && ++failures <= 10) ADD_FAILURE() << "\"" << text << "\" read as " << parse.value;
    };
    for (int i = 0; i < 1'000'000; ++i) {
        int length = 1 + static_cast<int>(random() % 22);
        std::string text = signs[random() % 3] + digits(random, length);
        if (random() % 4 == 0) text += ".5";
        check(text);
    }
    for (const char* text : {"2147483647", "2147483648", "-2147483648", "-2147483649", "+0", "-0", "0000000000042",
                             "9223372036854775807", "9223372036854775808", "-99999999999999999999", "", "+", "-", "x",
                             "12abc"})
        check(text);
}

// The batch reading of coordinate values gives each value parseReal's float
// (strtof's), or leaves it to parseReal; checked for one value followed by a
// line end and enough room after it, on both paths: in vectors (where this
// processor has them) and in words.
class BatchChecker {
public:
    void check(const char* text, std::size_t length) {
        check(text, length, grain::CommonRealsPath::fastest);
        check(text, length, grain::CommonRealsPath::words);
    }
    long long count() const { return count_; }
    long long leftToParseReal() const { return leftToParseReal_; }

private:
    void check(const char* text, std::size_t length, grain::CommonRealsPath path) {
        std::memcpy(buffer_, text, length);
        std::memset(buffer_ + length, '\n', grain::commonRealLookahead + 1);
        float value = 0.0f;
        grain::CommonRealsText batch{buffer_, buffer_ + length + 1 + grain::commonRealLookahead, &value, 0, 1};
        grain::parseCommonReals(&batch, 1, path);
        ++count_;
        if (batch.count == 0) {
            ++leftToParseReal_;
            if (batch.first != buffer_ && ++failures_ <= 10) ADD_FAILURE() << "\"" << text << "\" not left at its start";
            return;
        }
        buffer_[length] = '\0';
        float theirs = std::strtof(buffer_, nullptr);
        if ((std::bit_cast<std::uint32_t>(value) != std::bit_cast<std::uint32_t>(theirs) ||
             batch.first != buffer_ + length) &&
            ++failures_ <= 10)
            ADD_FAILURE() << "\"" << text << "\": batch " << std::hexfloat << value << " after "
                          << (batch.first - buffer_) << " characters; strtof " << theirs
                          << (path == grain::CommonRealsPath::words ? " (in words)" : "");
    }

    char buffer_[64];
    long long count_ = 0;
    long long leftToParseReal_ = 0;
    int failures_ = 0;
};

TEST(CoordinateNumbers, BatchReadingGivesStrtofsFloatForEveryShapeOfValue) {
    std::setlocale(LC_NUMERIC, "C");
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    // Every x86-64 processor the tests run on has the vector instructions:
    // without them the vector path would go untested.
    ASSERT_TRUE(grain::commonRealsInVectors());
#endif
    BatchChecker checker;
    // Every value with one to three digits and four decimals, as the flock
    // writes them: "0.0000" to "999.9999".
    char text[32];
    for (int n = 0; n < 10'000'000; ++n) {
        int length = std::snprintf(text, sizeof text, "%d.%04d", n / 10000, n % 10000);
        checker.check(text, static_cast<std::size_t>(length));
    }
    EXPECT_EQ(checker.leftToParseReal(), 0);
    // Every shape the short path reads: no sign or a minus, one to seven
    // digits, no point or a point with none to seven decimals; random digits,
    // leading zeros, and all nines.
    std::mt19937_64 random(1515);
    for (const char* sign : {"", "-"})
        for (int whole = 1; whole <= 7; ++whole)
            for (int decimals = -1; decimals <= 7; ++decimals)
                for (int i = 0; i < 20'000; ++i) {
                    std::string value = sign;
                    value += digits(random, whole);
                    if (decimals >= 0) {
                        value += '.';
                        value += digits(random, decimals);
                    }
                    if (i % 8 == 1) value[std::strlen(sign)] = '0';
                    if (i == 2) std::replace_if(value.begin(), value.end(), [](char c) { return c >= '0'; }, '9');
                    checker.check(value.c_str(), value.size());
                }
    EXPECT_LT(checker.leftToParseReal(), checker.count() / 1000);  // the short path is the common one
    // Halfway points between floats that this shape can write (from 2^-7
    // up, where a halfway point has at most seven decimals), and next to them.
    for (int i = 0; i < 300'000; ++i) {
        float low = std::ldexp(static_cast<float>((random() % (1u << 23)) | (1u << 23)),
                               -23 + static_cast<int>(random() % 30) - 7);
        if (low >= 1e7f) continue;
        double halfway = (static_cast<double>(low) + std::nextafter(low, FLT_MAX)) / 2;
        int length = std::snprintf(text, sizeof text, "%.7f", halfway);
        if (std::strtod(text, nullptr) != halfway) continue;  // needs more than seven decimals
        checker.check(text, static_cast<std::size_t>(length));
        text[length - 1] = static_cast<char>(text[length - 1] == '9' ? '8' : text[length - 1] + 1);
        checker.check(text, static_cast<std::size_t>(length));
    }
    EXPECT_GE(checker.count(), 12'000'000);
}

// Texts read side by side stop together, where the first of them cannot go
// on: at a value of another shape, or at its limit; each keeps its own values
// and place. On both paths.
TEST(CoordinateNumbers, BatchReadingStopsWhereOneTextMeetsAValueOfAnotherShapeOrItsLimit) {
    const std::string padding(40, ' ');
    for (auto path : {grain::CommonRealsPath::fastest, grain::CommonRealsPath::words}) {
        for (std::string other : {"+5", ".5", "1e5", "12345678.5", "1.12345678", "1,5", "x", "1.5.5", "--5", "-.5"}) {
            std::string a = "1.5\n-2\t 3.\n" + padding, b = "10 20 30 40 50" + padding;
            a.insert(11, other);
            float av[5] = {}, bv[5] = {};
            grain::CommonRealsText texts[2] = {{a.data(), a.data() + a.size(), av, 0, 5},
                                               {b.data(), b.data() + b.size(), bv, 0, 5}};
            EXPECT_EQ(grain::parseCommonReals(texts, 2, path), 0) << other;
            EXPECT_EQ(texts[0].count, 3) << other;
            EXPECT_EQ(texts[0].first - a.data(), 11) << other;
            EXPECT_EQ(texts[1].count, 3) << other;
            EXPECT_EQ(av[1], -2.0f);
            EXPECT_EQ(bv[2], 30.0f);
        }
        // The third text wants the fewest values: all stop at its limit; the
        // others have read as many, up to the blank after their last value.
        std::string a = "1 2 3 4 5 6" + padding, b = "-7.25 8 9 10 11 12" + padding, c = "0.5 0.25 0.125 9" + padding;
        float av[6] = {}, bv[6] = {}, cv[6] = {};
        grain::CommonRealsText texts[3] = {{a.data(), a.data() + a.size(), av, 0, 6},
                                           {b.data(), b.data() + b.size(), bv, 1, 6},
                                           {c.data(), c.data() + c.size(), cv, 2, 5}};
        EXPECT_EQ(grain::parseCommonReals(texts, 3, path), 2);
        EXPECT_EQ(texts[0].count, 3);
        EXPECT_EQ(texts[1].count, 4);
        EXPECT_EQ(texts[2].count, 5);
        EXPECT_EQ(texts[0].first - a.data(), 5);
        EXPECT_EQ(texts[2].first - c.data(), 14);
        EXPECT_EQ(bv[1], -7.25f);
        EXPECT_EQ(cv[4], 0.125f);
    }
}

// The batch reading looks at most commonRealLookahead characters past the
// start of a value, 16 bytes at once in vectors: it must never touch a byte
// past a text's last. Texts of values of every length end right before a
// page that cannot be read; the batch reads what it may, the long way the
// rest, and every value is strtof's.
TEST(CoordinateNumbers, BatchReadingNeverReadsPastTheTextsLast) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* pages = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(mprotect(static_cast<char*>(pages) + page, page, PROT_NONE), 0);
    char* const last = static_cast<char*>(pages) + page;
    for (auto path : {grain::CommonRealsPath::fastest, grain::CommonRealsPath::words})
        for (std::string value : {"7", "-42.5", "-179.1234567", "1234567.1234567", "3."})
            for (int count = 1; count <= 12; ++count)
                for (const char* end : {"\n", ""}) {
                    std::string text;
                    for (int i = 0; i < count; ++i) text += value + (i + 1 < count ? "\n" : end);
                    char* first = last - text.size();
                    std::memcpy(first, text.data(), text.size());
                    std::vector<float> values(static_cast<std::size_t>(count));
                    grain::CommonRealsText batch{first, last, values.data(), 0, count};
                    grain::parseCommonReals(&batch, 1, path);
                    const char* p = batch.first;
                    for (int i = batch.count; i < count; ++i) {
                        while (grain::isBlank(*p)) ++p;
                        grain::RealParse parse = grain::parseReal(p, last);
                        ASSERT_EQ(parse.status, grain::NumberStatus::ok) << value << " x " << count;
                        values[static_cast<std::size_t>(i)] = parse.value;
                        p = parse.end;
                    }
                    for (float v : values) EXPECT_EQ(v, std::strtof(value.c_str(), nullptr)) << value << " x " << count;
                }
    munmap(pages, 2 * page);
}

// Coordinate files are read through a buffer of 64 KiB blocks. A number that
// a block boundary cuts, at any of its characters, reads as if it were whole.
TEST(CoordinateNumbers, ReadTheSameWhereverABlockEnds) {
    grain::testing::TempFolder folder;
    const std::vector<std::string> awkward = {"-12.5e+3", "+.5", "7.", "1e", "123456.789012", "1E-2"};
    const std::vector<float> values = {-12500.0f, 0.5f, 7.0f, 1.0f, 123456.789012f, 0.01f};
    auto trajectory = std::make_unique<grain::Trajectory>();
    for (std::size_t n = 0; n < awkward.size(); ++n)
        for (std::size_t cut = 0; cut <= awkward[n].size() + 2; ++cut) {
            // A thousand ones, blanks up to the boundary minus cut
            // characters, then the awkward number and a last value; the "1e"
            // is followed by a blank, so its exponent marker is left unread.
            const std::size_t ones = 1000;
            std::string text;
            for (std::size_t i = 0; i < ones; ++i) text += "1\n";
            text.append(65536 - cut - text.size(), ' ');
            text += awkward[n] + (awkward[n] == "1e" ? " 2\n" : "\n2\n");
            grain::testing::writeText(grain::coordinateFilePath(folder.path(), 1, 'a'), text);
            grain::testing::writeText(grain::coordinateFilePath(folder.path(), 1, 'e'), text);
            grain::testing::writeText(grain::coordinateFilePath(folder.path(), 1, 'd'), text);
            ASSERT_TRUE(grain::loadTrajectory(1, *trajectory, folder.path()).loaded());
            // "1e" ends the data: its "e" is not a number.
            int expected = static_cast<int>(ones) + (awkward[n] == "1e" ? 1 : 2);
            ASSERT_EQ(trajectory->sampleCount, expected) << awkward[n] << " cut " << cut;
            EXPECT_EQ(trajectory->distance[ones], values[n]) << awkward[n] << " cut " << cut;
            EXPECT_EQ(trajectory->azimuth[ones], values[n]) << awkward[n] << " cut " << cut;
            if (awkward[n] != "1e") {
                EXPECT_EQ(trajectory->elevation[ones + 1], 2.0f) << awkward[n] << " cut " << cut;
            }
        }
}

}  // namespace
