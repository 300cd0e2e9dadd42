// Element access over the bitfile's XML. The text is parsed in place,
// without modification and without entity translation, so every value is
// the raw character range between its tags; the readers here decode the
// five predefined entities themselves and convert numbers and booleans.
// Every failure is the bitfile content error (-61070).
#pragma once

#include <cstdint>
#include <memory>
#include <rapidxml/rapidxml.hpp>
#include <string>
#include <string_view>

#include "atomiczekddk/shared/Errors.h"

namespace qvzek {

using XmlNode = rapidxml::xml_node<char>;
using XmlAttribute = rapidxml::xml_attribute<char>;

// Deeper element nesting is refused before parsing: the parser and the
// printer recurse once per level, and a hostile text must not exhaust the
// stack. Real bitfiles nest about ten levels.
inline constexpr uint32_t kMaxXmlNestingDepth = 256;

// The text of an element: its first run of character data with the five
// predefined entities decoded ("&lt;", "&gt;", "&apos;", "&quot;", "&amp;",
// each replaced everywhere, in that order); unchanged when raw is set.
std::string xmlNodeText(const XmlNode* node, bool raw = false);
// Numbers as a stream extraction with the base field cleared reads them:
// leading blanks skipped, 0x hexadecimal, a leading 0 octal, anything after
// the number ignored. No number, or one out of range, is -61070; so is a
// minus sign before an unsigned number (it would wrap around).
uint64_t xmlNodeToU64(const XmlNode* node, bool raw = false);
uint32_t xmlNodeToU32(const XmlNode* node, bool raw = false);
int32_t xmlNodeToI32(const XmlNode* node, bool raw = false);

// First child element called name (exact); a null name takes the first
// child element of any name. Null when there is none.
XmlNode* findChildElement(const XmlNode* element, const char* name);
// The same; none is -61070.
XmlNode* getRequiredChildElement(const XmlNode* element, const char* name);
// First attribute called name (null: the first attribute); none is -61070.
XmlAttribute* getRequiredAttribute(const XmlNode* element, const char* name);
// An attribute's value with the entities decoded.
std::string xmlAttributeText(const XmlAttribute* attribute);
// "true" or "false" in any letter case, nothing around it; else -61070.
bool parseBoolean(const XmlNode* element, bool skipEntityDecoding = false);
// The name of a node as a view.
inline std::string_view xmlName(const XmlNode* node) {
    return {node->name(), node->name_size()};
}

// Deepest element nesting of an XML text, counted the way the parser reads
// markup (comments, CDATA sections, declarations, processing instructions and
// quoted attribute values do not count). Stops counting past limit + 1.
uint32_t xmlNestingDepth(std::string_view text, uint32_t limit = kMaxXmlNestingDepth);

// A parsed document over a caller's NUL-terminated text, which must outlive
// it. A leading byte order mark is skipped; too deep a nesting and every
// syntax error are -61070.
class XmlDocument {
public:
    explicit XmlDocument(const char* text);
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;
    ~XmlDocument();

    // The first element of the document; -61070 when it has none.
    XmlNode* rootElement() const;

private:
    std::unique_ptr<rapidxml::xml_document<char>> document_;
};

// The element printed as XML text (tab indentation, one element per line).
// Values are written so that parsing the text again and decoding gives the
// same texts as decoding the original (the printer escapes what it writes,
// so it is given decoded values, never raw ones).
std::string printElement(const XmlNode* element);

// Empties the value of an element (its text and its data children).
void clearElementValue(XmlNode* element);

}  // namespace qvzek
