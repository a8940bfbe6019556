// Token reading, locale-free numbers and atomic file replacement.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <locale>

#include "common/TestFiles.h"
#include "io/TextTokens.h"

namespace {

using testfiles::TempDir;

TEST(TextTokensTest, RealsAreWrittenLikePercentFInTheCLocale) {
    for (double v : {0.0, -0.0, 1.0, -2.5, 0.1234565, 0.0000004, -0.0000004, 123456.789, 1e15, 3.0000005, 1.0 / 3.0}) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%f", v);
        std::string got;
        appendReal(got, v);
        EXPECT_EQ(got, expected) << v;
    }
    std::string padded;
    appendPadded(padded, "#GlobalNumOfWave", 24);
    appendInt(padded, -17);
    EXPECT_EQ(padded, "#GlobalNumOfWave        -17");
}

/// A numeric punctuation with a decimal comma, for the C++ side of a comma locale.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

TEST(TextTokensTest, CommaLocaleChangesNeitherWritingNorReading) {
    const std::string previousC = std::setlocale(LC_ALL, nullptr);
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    // The C library side too when the system has a German locale.
    const bool haveGerman = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    std::string out;
    appendReal(out, 1.5);
    TextReader in("2.25 -1e-3");
    double a = 0.0, b = 0.0;
    const bool read = in.readReal(a) && in.readReal(b);
    std::locale::global(previous);
    std::setlocale(LC_ALL, previousC.c_str());
    EXPECT_EQ(out, "1.500000") << "German C locale available: " << haveGerman;
    EXPECT_TRUE(read);
    EXPECT_EQ(a, 2.25);
    EXPECT_EQ(b, -0.001);
}

TEST(TextTokensTest, NumbersMustBeWholeFiniteTokens) {
    int i = 0;
    double d = 0.0;
    TextReader ok("+7 -3 +1.5 2e2");
    EXPECT_TRUE(ok.readInt(i));
    EXPECT_EQ(i, 7);
    EXPECT_TRUE(ok.readInt(i));
    EXPECT_EQ(i, -3);
    EXPECT_TRUE(ok.readReal(d));
    EXPECT_EQ(d, 1.5);
    EXPECT_TRUE(ok.readReal(d));
    EXPECT_EQ(d, 200.0);
    EXPECT_TRUE(ok.atEnd());
    EXPECT_FALSE(ok.fail());

    for (const char* bad : {"3.5", "abc", "99999999999", "1,5", "--1"}) {
        TextReader in(bad);
        EXPECT_FALSE(in.readInt(i)) << bad;
        EXPECT_TRUE(in.fail());
    }
    for (const char* bad : {"nan", "inf", "-inf", "1.5x", "1e999", "0,5"}) {
        TextReader in(bad);
        EXPECT_FALSE(in.readReal(d)) << bad;
        EXPECT_NE(in.error().find("line 1"), std::string::npos);
    }
}

TEST(TextTokensTest, FailureIsStickyAndNamesTheLine) {
    TextReader in("1\n2\nx 4");
    int v = 0;
    EXPECT_TRUE(in.readInt(v));
    EXPECT_TRUE(in.readInt(v));
    EXPECT_FALSE(in.readInt(v));
    EXPECT_NE(in.error().find("'x' is not an integer (line 3)"), std::string::npos) << in.error();
    EXPECT_FALSE(in.readInt(v));  // 4 is never reached
    std::string_view token;
    EXPECT_FALSE(in.readToken(token));
}

TEST(TextTokensTest, ACommentCharacterEndsTokensAndLinesButIsOrdinaryWithoutOne) {
    const std::string text = "# header\n5#five\n  # only a comment\n6 x#y\n";
    TextReader commented(text, '#');
    std::string_view token;
    ASSERT_TRUE(commented.readToken(token));
    EXPECT_EQ(token, "5");
    EXPECT_EQ(commented.line(), 2);
    int v = 0;
    ASSERT_TRUE(commented.readInt(v));
    EXPECT_EQ(v, 6);
    EXPECT_EQ(commented.line(), 4);
    ASSERT_TRUE(commented.readToken(token));
    EXPECT_EQ(token, "x");
    EXPECT_TRUE(commented.atEnd());

    // Project files use '#' in their keywords: a plain reader keeps it in the token.
    TextReader plain(text);
    ASSERT_TRUE(plain.readToken(token));
    EXPECT_EQ(token, "#");
    ASSERT_TRUE(plain.readToken(token));
    ASSERT_TRUE(plain.readToken(token));
    EXPECT_EQ(token, "5#five");
}

TEST(TextTokensTest, CountsBeyondTheRemainingTextAreRefusedBeforeUse) {
    int count = 0;
    TextReader fits("3 1 2 3");
    EXPECT_TRUE(fits.readCount(count, 1));
    EXPECT_EQ(count, 3);
    TextReader tooMany("4 1 2 3");
    EXPECT_FALSE(tooMany.readCount(count, 1));
    TextReader hostile("2000000000 0.1 0.2 0.3");
    EXPECT_FALSE(hostile.readCount(count, 3));
    EXPECT_NE(hostile.error().find("exceeds"), std::string::npos);
    TextReader negative("-1");
    EXPECT_FALSE(negative.readCount(count, 1));
    TextReader endOfText("");
    EXPECT_FALSE(endOfText.readCount(count, 1));
    EXPECT_NE(endOfText.error().find("unexpected end of file"), std::string::npos);
}

TEST(TextTokensTest, LongTokensAreReadWholeButShownShort) {
    const std::string longToken(10000, 'k');
    TextReader in(longToken + " next");
    std::string_view token;
    ASSERT_TRUE(in.readToken(token));
    EXPECT_EQ(token.size(), 10000u);
    EXPECT_EQ(shownToken(token).size(), TextReader::kShownTokenLength + 3);
    ASSERT_TRUE(in.readToken(token));
    EXPECT_EQ(token, "next");
    // Bytes of a binary file reach the console escaped: no terminal control sequence, no NUL that
    // would cut the message.
    EXPECT_EQ(shownToken(std::string_view("a\x1b[2J\0\xff~", 8)), "a\\x1b[2J\\x00\\xff~");
    EXPECT_EQ(shownToken(std::string(70, '\x07')), [] {
        std::string s;
        for (size_t i = 0; i < TextReader::kShownTokenLength; ++i) s += "\\x07";
        return s + "...";
    }());
}

class AtomicWriteTest : public ::testing::Test {
protected:
    void TearDown() override { setWriteFailureAfterBytesForTesting(-1); }
    /// Number of directory entries (a left-over temporary file would show here).
    size_t entries() const {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++n;
        return n;
    }
    TempDir dir;
};

TEST_F(AtomicWriteTest, ReplacesTheFileAndKeepsItsPermissions) {
    const std::string path = dir.file("a.vm");
    testfiles::writeText(path, "old");
    chmod(path.c_str(), 0640);
    std::string error;
    ASSERT_TRUE(writeFileAtomically(path, "new content", error)) << error;
    EXPECT_EQ(testfiles::readText(path), "new content");
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicWriteTest, AnInterruptedWriteLeavesTheOldFile) {
    const std::string path = dir.file("a.vm");
    testfiles::writeText(path, "the previous save");
    setWriteFailureAfterBytesForTesting(5);
    std::string error;
    EXPECT_FALSE(writeFileAtomically(path, std::string(100000, 'x'), error));
    EXPECT_NE(error.find(path), std::string::npos);
    EXPECT_EQ(testfiles::readText(path), "the previous save");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicWriteTest, FailuresAreReportedNotPassedOver) {
    std::string error;
    EXPECT_FALSE(writeFileAtomically(dir.file("missing/dir/a.vm"), "x", error));
    EXPECT_NE(error.find("temporary"), std::string::npos) << error;
    // A directory where the file should be cannot be replaced.
    std::filesystem::create_directory(dir.file("taken.vm"));
    error.clear();
    EXPECT_FALSE(writeFileAtomically(dir.file("taken.vm"), "x", error));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("taken.vm")));
    EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicWriteTest, ASymbolicLinkKeepsPointingAtTheSavedFile) {
    const std::string real = dir.file("real.vm"), link = dir.file("link.vm");
    testfiles::writeText(real, "old");
    std::filesystem::create_symlink(real, link);
    std::string error;
    ASSERT_TRUE(writeFileAtomically(link, "new", error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(testfiles::readText(real), "new");
}

}  // namespace
