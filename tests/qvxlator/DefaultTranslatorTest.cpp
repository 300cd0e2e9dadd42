#include <gtest/gtest.h>

#include <string>

#include "qverr/Codes.h"
#include "qvxlator/DefaultTranslator.h"
#include "qvxlator/XlatorTestSupport.h"
#include "support/SimulatedRoot.h"

namespace {

using xlatortest::explanationFile;
using xlatortest::hostAlloc;
using xlatortest::member;
using xlatortest::take;
using xlatortest::write;

// The machine's fixed directories lie under a temporary root, so the
// shared data directory is <root>/usr/local/vorlane/share.
class DefaultTranslator : public ::testing::Test {
protected:
    std::string errors(const std::string& relative, const std::string& content) {
        return write(root_, "usr/local/vorlane/share/errors/" + relative, content);
    }

    qvxlator::Translator* translator() {
        qverr::Status status;
        qvxlator::Translator* created =
            qvxlator::createDefaultTranslator(nullptr, nullptr, &status);
        EXPECT_EQ(status.code, 0);
        return created;
    }

    std::string describe(int32_t code, uint32_t flags, qverr::Status& status) {
        qvxlator::Translator* t = translator();
        return take(t->getStaticDesc(t, code, flags, hostAlloc, nullptr, &status));
    }

    qvtest::SimulatedRoot root_;
};

TEST_F(DefaultTranslator, DescribesFromTheStandardErrorsDirectoryWithEnglishFallback) {
    errors("English/codes.txt", explanationFile({{"-52005", "Invalid parameter."}}));
    errors("German/codes.txt", explanationFile({{"-52006", "Ressource nicht gefunden."}}));
    errors("common.err", explanationFile({{"-52007", "Timed out."}}));
    qverr::Status status;
    EXPECT_EQ(describe(qverr::qvapalerr_resourceNotFound, 2, status), "Ressource nicht gefunden.");
    EXPECT_EQ(describe(qverr::qvapalerr_invalidParameter, 2, status), "Invalid parameter.");
    // French has no directory: English is searched instead.
    EXPECT_EQ(describe(qverr::qvapalerr_invalidParameter, 1, status), "Invalid parameter.");
    EXPECT_EQ(describe(qverr::qvapalerr_operationTimedOut, 1 | 0x300, status), "Timed out.");
    EXPECT_EQ(describe(qverr::qvapalerr_invalidParameter, 9, status), "Invalid parameter.");
    EXPECT_EQ(status.code, 0) << status.jsonText();
}

TEST_F(DefaultTranslator, ACodeDescribedNowhereIsResourceNotFound) {
    qverr::Status status;
    EXPECT_EQ(describe(qverr::qvapalerr_invalidParameter, 0, status),
              "(null)");  // no English directory
    EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(member(status.jsonText(), "qvxlator_debug/debug"), "open dir failed");

    errors("English/codes.txt", explanationFile({{"-52005", "Invalid parameter."}}));
    status = qverr::Status{};
    EXPECT_EQ(describe(-1, 2 | 0x500, status), "(null)");
    EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(xlatortest::canonical(member(status.jsonText(), "qvxlator_debug")),
              xlatortest::canonical(
                  R"({"qvxlator_defaultTranslator": "couldn't find description for code",
                                        "code": -1, "lang": 0, "ade": 5})"));
}

TEST_F(DefaultTranslator, IsOneStaticRecordWithoutDynamicDescriptions) {
    qvxlator::Translator* t = translator();
    EXPECT_EQ(t, translator());
    EXPECT_EQ(t->size, 32u);
    EXPECT_EQ(t->getDynamicDesc, nullptr);
    t->destroy(t);

    qverr::Status failed;
    failed.setCode(-3, QVERR_LOCATION("test", "earlier"));
    EXPECT_EQ(qvxlator::createDefaultTranslator("x", "y", &failed), nullptr);
    EXPECT_EQ(
        t->getStaticDesc(t, qverr::qvapalerr_invalidParameter, 0, hostAlloc, nullptr, &failed),
        nullptr);
    EXPECT_EQ(failed.code, -3);
}

}  // namespace
