#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "qverr/Codes.h"
#include "qvxlator/PathVariables.h"
#include "qvxlator/XlatorTestSupport.h"
#include "qvxlator/kxErrorsParser.h"
#include "support/ScopedEnvironment.h"

namespace {

using xlatortest::explanationFile;
using xlatortest::member;
using xlatortest::TempDir;
using xlatortest::write;

constexpr uint32_t kNotFound = static_cast<uint32_t>(qverr::qvapalerr_resourceNotFound);

std::string parse(const std::string& path, uint32_t code, qverr::Status& status) {
    std::string text = "stale";
    kxErrorsParser::parseExplanationFile(path.c_str(), code, text, status);
    return text;
}

std::string parse(const std::string& path, uint32_t code) {
    qverr::Status status;
    std::string text = parse(path, code, status);
    EXPECT_EQ(status.code, 0) << status.jsonText();
    return text;
}

TEST(ExplanationFile, FindsTheBlockOfTheCodeWrittenInDecimalOrHexadecimal) {
    TempDir dir;
    const std::string file =
        write(dir, "a.txt",
              explanationFile({{"-52005", "Invalid parameter."},
                               {"0xFFFF34DA", "Resource not found.\nSecond line."},
                               {"-1074097800", "Software fault."},
                               {"010", "Octal eight."},
                               {"99999999999999999999999", "Names no code."},
                               {"-1", "Minus one."}}));
    EXPECT_EQ(parse(file, static_cast<uint32_t>(qverr::qvapalerr_invalidParameter)),
              "Invalid parameter.");
    EXPECT_EQ(parse(file, kNotFound), "Resource not found.\nSecond line.");
    EXPECT_EQ(parse(file, static_cast<uint32_t>(-1074097800)), "Software fault.");
    EXPECT_EQ(parse(file, 8), "Octal eight.");
    // A code beyond 64 bits is passed over, not mistaken for -1.
    EXPECT_EQ(parse(file, static_cast<uint32_t>(-1)), "Minus one.");
    EXPECT_EQ(parse(file, 1234), "");
}

TEST(ExplanationFile, StripsLineEndsAndSkipsCommentBlocks) {
    TempDir dir;
    const std::string file = write(
        dir, "a.txt",
        "<?XML VERSION=\"1.0\" encoding=\"x\"?>\r\n<QVDOCUMENT>\r\n"
        "<qvcomment>\r\n<qverror code=\"5\">\r\nnot this one\r\n</qverror>\r\n</qvcomment>\r\n"
        "  <qverror code=\"5\">\r\nindented, not a block\r\n"
        "<qverror code=\"5\">\r\n  Kept as written  \r\n\r\n</QVERROR>\r\n"
        "</qvdocument>\r\n");
    EXPECT_EQ(parse(file, 5), "  Kept as written  ");
}

TEST(ExplanationFile, TextsThatAreNotExplanationFilesDescribeNothing) {
    TempDir dir;
    const std::string head = "<?xml version=\"1.0\"?>\n";
    for (const std::string& text :
         {std::string(
              "<?xml version=\"2.0\"?>\n<qvdocument>\n<qverror code=\"1\">\nx\n</qverror>\n"),
          head + "<document>\n<qverror code=\"1\">\n", head + "<qvdocument>\n", std::string(),
          // Blocks after the end of the document are not read.
          head + "<qvdocument>\n</qvdocument>\n<qverror code=\"1\">\nx\n</qverror>\n"}) {
        EXPECT_EQ(parse(write(dir, "a.txt", text), 1), "") << text;
    }
}

TEST(ExplanationFile, MalformedFilesFailWithResourceNotFound) {
    TempDir dir;
    struct Case {
        std::string content;
        std::string debug;
    };
    const std::string head = "<?xml version=\"1.0\"?>\n<qvdocument>\n";
    const Case cases[] = {
        {head + "<qverror code=\"1\">\nnever closed\n",
         "Bad explanation file. Could not find the end of the status code definition !"},
        {head + "<qverror code=\"one\">\nx\n</qverror>\n",
         "Could not successfully read the status data!"},
        {head + std::string("\0binary\n", 8),
         "Bad explanation file. Unidentified section heading !"},
    };
    for (const Case& c : cases) {
        qverr::Status status;
        EXPECT_EQ(parse(write(dir, "bad.txt", c.content), 1, status), "");
        EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotFound);
        EXPECT_EQ(member(status.jsonText(), "qvxlator_debug/debug"), c.debug);
    }

    qverr::Status status;
    EXPECT_EQ(parse(dir.path() + "/missing.txt", 1, status), "");
    EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(member(status.jsonText(), "qvxlator_debug/debug"),
              "Could not open status explanations file");
    EXPECT_EQ(member(status.jsonText(), "qvxlator_debug/path"), dir.path() + "/missing.txt");
}

TEST(ExplanationFile, AStatusHoldingAnErrorIsLeftAlone) {
    TempDir dir;
    const std::string file = write(dir, "a.txt", explanationFile({{"1", "one"}}));
    qverr::Status status;
    status.setCode(-1, QVERR_LOCATION("test", "first"));
    EXPECT_EQ(parse(file, 1, status), "");
    EXPECT_EQ(status.code, -1);
}

std::string searchDir(const std::string& path, uint32_t code, qverr::Status& status) {
    std::string text = "stale";
    kxErrorsParser::searchDirectory(path.c_str(), code, text, status);
    return text;
}

TEST(ExplanationDirectory, SearchesOnlyTxtAndErrFiles) {
    TempDir dir;
    write(dir, "upper.TXT", explanationFile({{"1", "from TXT"}}));
    write(dir, "backup.txt.bak", explanationFile({{"1", "from bak"}}));
    write(dir, "sub.txt/inner.txt", explanationFile({{"1", "from a directory"}}));
    qverr::Status status;
    EXPECT_EQ(searchDir(dir.path(), 1, status), "");
    EXPECT_EQ(status.code, 0);

    write(dir, "codes.err", explanationFile({{"1", "from err"}}));
    write(dir, "other.txt", explanationFile({{"2", "two"}}));
    EXPECT_EQ(searchDir(dir.path(), 1, status), "from err");
    EXPECT_EQ(searchDir(dir.path(), 2, status), "two");
    EXPECT_EQ(status.code, 0);
}

TEST(ExplanationDirectory, AMalformedFileEndsTheSearch) {
    TempDir dir;
    write(dir, "bad.txt", "<?xml version=\"1.0\"?>\n<qvdocument>\n<qverror code=\"9\">\n");
    qverr::Status status;
    EXPECT_EQ(searchDir(dir.path(), 9, status), "");
    EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotFound);
}

TEST(ExplanationDirectory, APathThatIsNotADirectoryFails) {
    TempDir dir;
    const std::string file = write(dir, "a.txt", explanationFile({{"1", "one"}}));
    for (const std::string& path : {file, dir.path() + "/absent"}) {
        qverr::Status status;
        EXPECT_EQ(searchDir(path, 1, status), "");
        EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotFound);
        EXPECT_EQ(member(status.jsonText(), "qvxlator_debug/debug"), "open dir failed");
        EXPECT_EQ(member(status.jsonText(), "qvxlator_debug/path"), path);
        EXPECT_EQ(member(status.jsonText(), "internal_error/code"), "2");
        EXPECT_EQ(member(status.jsonText(), "internal_error/api"), "errno");
    }
}

std::string searchErrors(const std::string& path, uint32_t code, uint32_t lang,
                         qverr::Status& status) {
    std::string text = "stale";
    kxErrorsParser::searchErrorsDirectory(path.c_str(), code, lang, text, status);
    return text;
}

// The order of the search is checked through the translators.
TEST(ErrorsDirectory, AMissingLanguageDirectoryFailsAnUnknownLanguageIsInvalid) {
    TempDir dir;
    write(dir, "common.txt", explanationFile({{"3", "common three"}}));
    qverr::Status status;
    EXPECT_EQ(searchErrors(dir.path(), 3, 2, status), "");
    EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotFound);

    qverr::Status unknown;
    EXPECT_EQ(searchErrors(dir.path(), 1, 7, unknown), "");
    EXPECT_EQ(unknown.code, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(member(unknown.jsonText(), "qvxlator_debug/kxerrorsparser"), "invalid language");
    EXPECT_EQ(member(unknown.jsonText(), "qvxlator_debug/lang"), "7");
}

// Each case restores TMPDIR as it found it.
class PathExpansion : public ::testing::Test {
protected:
    qvtest::ScopedEnvironment tmpdir_{"TMPDIR", std::getenv("TMPDIR")};
};

// Variables followed by a slash are replaced, once: a value holding a
// dollar is not expanded again; one without a slash after it is invalid.
TEST_F(PathExpansion, VariablesFollowedByASlashAreReplacedOnce) {
    qverr::Status status;
    unsetenv("TMPDIR");
    EXPECT_EQ(qvxlator::expandPath("$_tempDir/errors", status), "/tmp/errors");
    setenv("TMPDIR", "/scratch", 1);
    EXPECT_EQ(qvxlator::expandPath("$_tempDir/a/$_commonAppDataDir/b", status),
              "/scratch/a//var/local/vorlane/b");
    EXPECT_EQ(qvxlator::expandPath("$unknown/errors", status), "/errors");
    EXPECT_EQ(qvxlator::expandPath("no variables", status), "no variables");
    setenv("TMPDIR", "/odd/$_tempDir", 1);
    EXPECT_EQ(qvxlator::expandPath("$_tempDir/x", status), "/odd/$_tempDir/x");
    setenv("TMPDIR", "$", 1);
    EXPECT_EQ(qvxlator::expandPath("$_tempDir/$_tempDir/", status), "$/$/");
    EXPECT_EQ(status.code, 0);

    EXPECT_EQ(qvxlator::expandPath("$_tempDir", status), "");
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(member(status.jsonText(), "qvxlator_debug/qvxlatordll"), "plugin dll path invalid");
    EXPECT_EQ(member(status.jsonText(), "qvxlator_debug/dllPath"), "$_tempDir");
}

}  // namespace
