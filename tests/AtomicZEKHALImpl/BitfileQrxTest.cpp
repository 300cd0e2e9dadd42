// The module check of a bitfile: its module section's schema version and
// module revisions.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "AtomicZEKHALImpl/BitfileQrx.h"
#include "qvmxl/errors.h"
#include "support/BitfileGenerator.h"
#include "support/TempDir.h"

namespace {

using atomiczekhal::BitfileQrx;

const std::string kCorpus = QV_BITFILE_CORPUS;

std::string sampleText() {
    return qvtest::readTextFile(kCorpus + "/sample.xml");
}

std::string withSection(const std::string& section) {
    std::string text = sampleText();
    const size_t start = text.find("<QvSdi_");
    const std::string close = "</QvSdi_60565a69600149069007a119fa3bc8eb>";
    const size_t end = text.find(close) + close.size();
    text.replace(start, end - start, section);
    return text;
}

std::string section(const std::string& content) {
    return "<QvSdi_60565a69600149069007a119fa3bc8eb>" + content +
           "</QvSdi_60565a69600149069007a119fa3bc8eb>";
}

TEST(BitfileQrx, TheSampleNamesItsModuleRevisions) {
    const BitfileQrx bitfile(sampleText());
    EXPECT_EQ(bitfile.getLowestModuleRevision(), 2u);
    EXPECT_EQ(bitfile.getDesiredModuleRevision(), 5u);
    EXPECT_TRUE(bitfile.hasModuleRevisions());
    EXPECT_EQ(bitfile.getBitstream().size(), 256u);
}

TEST(BitfileQrx, AnImageWithoutTheSectionNamesNoRevisions) {
    for (const std::string& text :
         {withSection(""), withSection(section("")),
          withSection(
              "</"
              "QvSdi_60565a69600149069007a119fa3bc8eb><QvSdi_60565a69600149069007a119fa3bc8eb>")}) {
        const BitfileQrx bitfile(text);
        EXPECT_FALSE(bitfile.hasModuleRevisions());
        EXPECT_EQ(bitfile.getDesiredModuleRevision(), 0u);
    }
    const BitfileQrx spaced(
        withSection(section("<DesiredModuleRev>7x</DesiredModuleRev><version> 0</version>"
                            "<MinModuleRev>+3</MinModuleRev>")));
    EXPECT_EQ(spaced.getDesiredModuleRevision(), 7u);
    EXPECT_EQ(spaced.getLowestModuleRevision(), 3u);
    const BitfileQrx widest(
        withSection(section("<version>0</version><MinModuleRev>4294967295</MinModuleRev>"
                            "<DesiredModuleRev>4294967295</DesiredModuleRev>")));
    EXPECT_EQ(widest.getDesiredModuleRevision(), 4294967295u);
    EXPECT_EQ(widest.getLowestModuleRevision(), 4294967295u);
}

TEST(BitfileQrx, RefusalsCarryTheirMessageAndRaiseSite) {
    struct Case {
        std::string content;
        const char* message;
        int line;
    };
    const Case cases[] = {
        {"<MinModuleRev>1</MinModuleRev><DesiredModuleRev>1</DesiredModuleRev>",
         "Sdi tag is missing the version number", 65},
        {"<version></version><MinModuleRev>1</MinModuleRev>",
         "Sdi tag is missing the version number", 65},
        {"<version>x</version>", "Could not read schema version", 70},
        {"<version>1</version>", "Bitfile schema too new", 79},
        // Numbers are compared whole, never by their low 32 bits.
        {"<version>4294967296</version>", "Bitfile schema too new", 79},
        {"<version>99999999999999999999</version>", "Bitfile schema too new", 79},
        {"<version>0</version><MinModuleRev>1</MinModuleRev><DesiredModuleRev>4294967299</"
         "DesiredModuleRev>",
         "Could not extract expected data from bitfile", 91},
        {"<version>0</version><MinModuleRev>4294967296</MinModuleRev><DesiredModuleRev>1</"
         "DesiredModuleRev>",
         "Could not extract expected data from bitfile", 91},
        {"<version>0</version><MinModuleRev>3</MinModuleRev>",
         "Could not extract expected data from bitfile", 87},
        {"<version>0</version><MinModuleRev>a</MinModuleRev><DesiredModuleRev>1</DesiredModuleRev>",
         "Could not extract expected data from bitfile", 91},
        // The section is read from the printed target-specific data, where
        // an element holding only blanks is printed empty.
        {"<version>0</version><MinModuleRev>1</MinModuleRev><DesiredModuleRev> </DesiredModuleRev>",
         "Could not extract expected data from bitfile", 87},
    };
    for (const Case& c : cases) {
        const auto [code, json] =
            qvtest::thrownStatus([&] { BitfileQrx bitfile(withSection(section(c.content))); });
        EXPECT_EQ(code, SDISharedErrors::kErrorIncompatibleBitfile) << c.content;
        EXPECT_NE(json.find(std::string("\"parseCompilationResults\":\"") + c.message + "\""),
                  std::string::npos)
            << json;
        EXPECT_NE(json.find("\"line\":" + std::to_string(c.line)), std::string::npos) << json;
        EXPECT_NE(json.find("AtomicZEKHALImpl/BitfileQrx"), std::string::npos) << json;
        EXPECT_NE(json.find("kErrorIncompatibleBitfile"), std::string::npos) << json;
    }
}

TEST(BitfileQrx, EveryModuleVariantOfTheCorpusIsRefused) {
    size_t variants = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("module_", 0) != 0) continue;
        const std::string text = qvtest::readTextFile(entry.path().string());
        qvzek::Bitfile general(text, false, true, false);
        EXPECT_EQ(qvtest::thrownStatus([&] { BitfileQrx bitfile(text); }).first,
                  -std::stoll(name.substr(7)))
            << name;
        ++variants;
    }
    EXPECT_GE(variants, 8u);
}

}  // namespace
