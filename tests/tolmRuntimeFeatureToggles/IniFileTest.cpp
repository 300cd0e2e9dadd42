#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "support/TempDir.h"
#include "tolmRuntimeFeatureToggles/IniFile.h"

namespace {

using namespace runtime_toggles;

using Document = std::unique_ptr<IniDocument, decltype(&iniFree)>;

class IniFileTest : public ::testing::Test {
protected:
    // Parses content written to a file; the result code goes to result.
    Document parse(const std::string& content) {
        qvtest::writeFile(path, content);
        Document document(iniCreate(0), &iniFree);
        result = iniReadFile(document.get(), path.c_str());
        return document;
    }

    qvtest::TempDir dir;
    std::string path = dir / "settings.ini";
    int32_t result = 1;
};

TEST_F(IniFileTest, SectionsAndKeysMergeWithoutRegardToCase) {
    Document document = parse("[ Sec ]\na=1\n[other]\nb = x y \n[sec] trailing text\nA=2\n");
    EXPECT_EQ(result, 0);
    ASSERT_EQ(document->sections.size(), 2u);
    EXPECT_STREQ(iniGetValue(document.get(), "SEC", "a"), "2");
    EXPECT_EQ(document->lastKeyLine, 6);
    EXPECT_STREQ(iniGetValue(document.get(), "  other", "B  "), "x y");
    EXPECT_EQ(iniHasSection(document.get(), "oth"), 0);
    EXPECT_EQ(iniHasKey(document.get(), "sec", "b"), 0);
}

TEST_F(IniFileTest, QuotesCommentsAndMalformedLines) {
    Document document = parse(
        "key=before any section\n[s]\nq=\"quoted value\"\nopen=\"unclosed\n#x=1\n; comment\n"
        "empty=\nnoseparator\n[]\n[unclosed\n=novalue\n");
    EXPECT_EQ(result, 0);
    auto quote = [&](const char* key) {
        const IniKey* found = iniGetKey(document.get(), "s", key);
        return found ? std::make_pair(found->value, found->quoteChar)
                     : std::make_pair(std::string(), -1);
    };
    EXPECT_EQ(quote("q"), std::make_pair(std::string("quoted value"), kIniDoubleQuote));
    EXPECT_EQ(quote("open"), std::make_pair(std::string("\"unclosed"), kIniNoQuote));
    EXPECT_STREQ(iniGetValue(document.get(), "s", "#x"), "1");
    EXPECT_EQ(iniHasKey(document.get(), "s", "empty"), 0);
    // The key line before any section is dropped, not malformed.
    EXPECT_EQ(document->firstBadLine, 7);
    EXPECT_EQ(document->sections.size(), 1u);

    document = parse("[s]\n\na=1\n");
    EXPECT_EQ(document->firstBadLine, 2);
}

TEST_F(IniFileTest, NumberedContinuationKeysAreJoined) {
    Document document = parse(
        "[s]\nText Line1=ab\nText Line2=cd\nText Line3=ef\nOther Line1=1\nOther Line7=2\n"
        "Third Line1=x\nplain=p\nLone Line2=z\nBig Line1=q\nBig Line99999999999999999999=r\n");
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(iniGetValue(document.get(), "s", "Text"), "abcdef");
    EXPECT_STREQ(iniGetValue(document.get(), "s", "Other"), "12");
    EXPECT_STREQ(iniGetValue(document.get(), "s", "Third"), "x");
    EXPECT_STREQ(iniGetValue(document.get(), "s", "Lone Line2"), "z");
    // A number too large for a long is no continuation number.
    EXPECT_STREQ(iniGetValue(document.get(), "s", "Big"), "q");
    EXPECT_STREQ(iniGetValue(document.get(), "s", "Big Line99999999999999999999"), "r");
    EXPECT_EQ(iniHasKey(document.get(), "s", "Text Line2"), 0);
    EXPECT_EQ(document->sections[0]->keys.size(), 7u);
}

TEST_F(IniFileTest, IntegersAreDecimalInt32) {
    Document document = parse(
        "[n]\na = -7 \nb=- 7\nc=7x\nd=2147483648\ne=-2147483648\nf=+12\ng=\"  \"\nh=4294967296\n"
        "i=0x10\nj=99999999999999999999\n");
    // {result, value} of each key; 5 where nothing is written.
    auto integer = [&](const char* key) {
        int32_t value = 5;
        const int32_t result = iniGetInt(document.get(), "n", key, &value);
        return std::make_pair(result, value);
    };
    using Result = std::pair<int32_t, int32_t>;
    EXPECT_EQ(integer("a"), Result(1, -7));
    EXPECT_EQ(integer("e"), Result(1, INT32_MIN));
    EXPECT_EQ(integer("f"), Result(1, 12));
    for (const char* key : {"b", "c", "d", "h", "i", "j"}) {
        EXPECT_EQ(integer(key), Result(kIniNotAnInteger, 5)) << key;
    }
    EXPECT_EQ(integer("g"), Result(0, 5));
    EXPECT_EQ(integer("absent"), Result(0, 5));
}

TEST_F(IniFileTest, LineEndsAndByteOrderMarks) {
    Document document = parse("[s]\r\na=1\r\n\r\nb=2\n\r\nc=3\rd=4");
    EXPECT_EQ(iniGetKey(document.get(), "s", "a")->line, 2);
    // CR LF CR LF ends two lines, LF CR LF two, a lone CR one.
    EXPECT_EQ(iniGetKey(document.get(), "s", "b")->line, 4);
    EXPECT_EQ(iniGetKey(document.get(), "s", "c")->line, 6);
    EXPECT_EQ(iniGetKey(document.get(), "s", "d")->line, 7);

    document = parse("\xEF\xBB\xBF[s]\na=1\n");
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(iniGetValue(document.get(), "s", "a"), "1");
    EXPECT_EQ(iniGetKey(document.get(), "s", "a")->line, 2);
    for (const std::string& mark : {std::string("\xFF\xFE[s]"), std::string("\0\0\xFE\xFF", 4)}) {
        document = parse(mark + "\na=1\n");
        EXPECT_EQ(result, kIniUnsupportedEncoding);
    }
}

TEST_F(IniFileTest, LongLinesAndPathsAreReadWhole) {
    const std::string value(5000, 'v');
    std::string deep = dir.path();
    while (deep.size() < 300) deep += "/a_rather_long_directory_name";
    std::filesystem::create_directories(deep);
    path = deep + "/settings.ini";
    Document document = parse("[s]\nlong=" + value + "\n");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(iniGetValue(document.get(), "s", "long"), value);
    EXPECT_EQ(document->path, path);
    EXPECT_NE(document->modificationTime, 0);
}

TEST_F(IniFileTest, UnreadableFiles) {
    Document document(iniCreate(0), &iniFree);
    EXPECT_EQ(iniCreate(1), nullptr);
    EXPECT_EQ(iniReadFile(document.get(), (dir / "absent.ini").c_str()), kIniFileMissing);
    EXPECT_EQ(iniReadFile(document.get(), nullptr), kIniFileMissing);
    if (geteuid() != 0) {
        qvtest::writeFile(path, "[s]\na=1\n");
        chmod(path.c_str(), 0);
        EXPECT_EQ(iniReadFile(document.get(), path.c_str()), kIniCannotOpen);
    }
    EXPECT_EQ(iniReadFile(document.get(), dir.path().c_str()), kIniReadError);
}

}  // namespace
