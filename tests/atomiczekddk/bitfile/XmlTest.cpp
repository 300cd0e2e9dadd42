// The XML readers and element access the whole bitfile goes through.
#include <gtest/gtest.h>

#include <string>

#include "atomiczekddk/bitfile/Xml.h"
#include "atomiczekddk/shared/Errors.h"
#include "support/TempDir.h"

namespace {

using namespace qvzek;

int32_t codeOf(const std::function<void()>& body) {
    return qvtest::thrownStatus(body).first;
}

// One element <v>text</v> parsed from a text kept alive beside it.
struct Value {
    explicit Value(const std::string& content)
        : text("<v>" + content + "</v>"), document(text.c_str()) {}
    const XmlNode* node() const { return document.rootElement(); }
    std::string text;
    XmlDocument document;
};

TEST(XmlText, DecodesTheFiveEntitiesInOrderAndNothingElse) {
    const std::pair<const char*, const char*> rows[] = {
        {"A&amp;B", "A&B"},
        {"&amp;lt;", "&lt;"},
        {"&amp;&amp;", "&&"},
        {"&lt;a&gt; &apos;b&apos; &quot;c&quot;", "<a> 'b' \"c\""},
        {"&#38; &foo;", "&#38; &foo;"},
        {"  spaced \n", "  spaced \n"},
        {"", ""},
    };
    for (const auto& [in, out] : rows) EXPECT_EQ(xmlNodeText(Value(in).node()), out) << in;
    EXPECT_EQ(xmlNodeText(Value("A&amp;B").node(), true), "A&amp;B");
}

TEST(XmlNumbers, TheirPrefixChoosesTheBaseAndTrailingTextIsIgnoredButNoNumberIsRefused) {
    const std::pair<const char*, uint32_t> rows[] = {
        {"0x10", 16}, {"0X1f", 31}, {"010", 8}, {"09", 0}, {"10", 10}, {"  42 bytes", 42}};
    for (const auto& [in, out] : rows) EXPECT_EQ(xmlNodeToU32(Value(in).node()), out) << in;
    EXPECT_EQ(xmlNodeToI32(Value("-2048").node()), -2048);
    EXPECT_EQ(xmlNodeToU64(Value("4294967296").node()), 4294967296u);

    // A stream would read "-1" as the largest unsigned value.
    for (const char* text : {"", "abc", "0x", "4294967296", "-1"}) {
        EXPECT_EQ(codeOf([&] { xmlNodeToU32(Value(text).node()); }), qvzek::kErrorBitfileContent)
            << text;
    }
    EXPECT_EQ(codeOf([] { xmlNodeToI32(Value("2147483648").node()); }),
              qvzek::kErrorBitfileContent);
    EXPECT_EQ(codeOf([] { xmlNodeToU64(Value(" -1").node()); }), qvzek::kErrorBitfileContent);
}

TEST(XmlBoolean, AnyLetterCaseButNothingAround) {
    EXPECT_TRUE(parseBoolean(Value("TRUE").node()) && !parseBoolean(Value("fAlSe").node()));
    for (const char* text : {" true", "1"})
        EXPECT_EQ(codeOf([&] { parseBoolean(Value(text).node()); }), qvzek::kErrorBitfileContent);
}

TEST(XmlElements, ChildrenAndAttributesByExactName) {
    const std::string text = "<r a='1' b=\"2\">x<c/><d>1</d><c>2</c></r>";
    XmlDocument document(text.c_str());
    const XmlNode* root = document.rootElement();
    EXPECT_EQ(xmlName(findChildElement(root, nullptr)), "c");
    EXPECT_EQ(xmlNodeText(findChildElement(root, "d")), "1");
    EXPECT_EQ(findChildElement(root, "D"), nullptr);
    EXPECT_EQ(xmlNodeText(getRequiredChildElement(root, "c")), "");
    EXPECT_EQ(codeOf([&] { getRequiredChildElement(root, "e"); }), qvzek::kErrorBitfileContent);
    EXPECT_EQ(xmlAttributeText(getRequiredAttribute(root, "b")), "2");
    EXPECT_EQ(xmlAttributeText(getRequiredAttribute(root, nullptr)), "1");
    EXPECT_EQ(codeOf([&] { getRequiredAttribute(root, "A"); }), qvzek::kErrorBitfileContent);
}

TEST(XmlDocument, SkipsMarkupBeforeTheRootAndRefusesTextOrNoElement) {
    const std::string prolog =
        "\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- c --><!DOCTYPE r [<!ENTITY x \"y\">]><r/>";
    EXPECT_EQ(xmlName(XmlDocument(prolog.c_str()).rootElement()), "r");
    for (const char* text : {"x<r/>", "\xEF", "<!-- only -->", "<r><a></r"}) {
        EXPECT_EQ(codeOf([&] { XmlDocument(text).rootElement(); }), qvzek::kErrorBitfileContent)
            << text;
    }
}

std::string nested(int depth, const std::string& inner = "") {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<n a='>'>";
    text += inner;
    for (int i = 0; i < depth; ++i) text += "</n>";
    return text;
}

TEST(XmlDocument, RefusesNestingBeyondItsLimitBeforeParsing) {
    const std::string deep = nested(kMaxXmlNestingDepth + 1);
    EXPECT_EQ(codeOf([&] { XmlDocument document(deep.c_str()); }), qvzek::kErrorBitfileContent);
    const std::string hostile = nested(100000);
    EXPECT_EQ(codeOf([&] { XmlDocument document(hostile.c_str()); }), qvzek::kErrorBitfileContent);
    const std::string limit = nested(kMaxXmlNestingDepth);
    XmlDocument document(limit.c_str());
    EXPECT_EQ(printElement(document.rootElement()).size() > limit.size(), true);
}

TEST(XmlDocument, NestingIsCountedAsTheParserReadsMarkup) {
    EXPECT_EQ(xmlNestingDepth("<a><b/><c x='</c>'><!-- </c></a> --><![CDATA[</c>]]></c></a>"), 2u);
    EXPECT_EQ(xmlNestingDepth("<a><?pi <b> ?><!x <b>><b>"), 2u);
    // Closing tags inside a comment must not hide the depth that follows.
    EXPECT_EQ(xmlNestingDepth("<a><!-- </a></a> --><b><c>"), 3u);
}

TEST(XmlPrint, PrintedValuesParseBackToTheSameTexts) {
    const std::string text =
        "<r name=\"A&amp;B &quot;q&quot;\"><v>A&amp;B &lt;&amp;lt;&gt; "
        "&#38;</v><e/><w>plain</w></r>";
    XmlDocument document(text.c_str());
    const std::string printed = printElement(document.rootElement());
    XmlDocument again(printed.c_str());
    const XmlNode* root = again.rootElement();
    EXPECT_EQ(xmlAttributeText(getRequiredAttribute(root, "name")), "A&B \"q\"");
    EXPECT_EQ(xmlNodeText(findChildElement(root, "v")), "A&B <&lt;> &#38;");
    EXPECT_EQ(xmlNodeText(findChildElement(root, "w")), "plain");
    EXPECT_NE(printed.find("\n\t<w>plain</w>\n"), std::string::npos);
    // The printed document keeps its raw values.
    EXPECT_EQ(xmlNodeText(findChildElement(document.rootElement(), "v"), true),
              "A&amp;B &lt;&amp;lt;&gt; &#38;");
}

}  // namespace
