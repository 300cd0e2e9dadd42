#include "atomiczekddk/bitfile/Xml.h"

#include <cstring>
#include <iterator>
#include <limits>
#include <locale>
#include <sstream>
#include <vector>

#include "atomiczekddk/shared/CommonUtilities.h"
#include "qvhtl/utf8/utf8.h"

// Debian's printer header declares its internal print functions ahead of
// their use only in some versions; declaring them here keeps it compiling
// with every compiler.
namespace rapidxml::internal {
template <class OutIt, class Ch>
inline OutIt print_children(OutIt out, const xml_node<Ch>* node, int flags, int indent);
template <class OutIt, class Ch>
inline OutIt print_element_node(OutIt out, const xml_node<Ch>* node, int flags, int indent);
template <class OutIt, class Ch>
inline OutIt print_data_node(OutIt out, const xml_node<Ch>* node, int flags, int indent);
template <class OutIt, class Ch>
inline OutIt print_cdata_node(OutIt out, const xml_node<Ch>* node, int flags, int indent);
template <class OutIt, class Ch>
inline OutIt print_declaration_node(OutIt out, const xml_node<Ch>* node, int flags, int indent);
template <class OutIt, class Ch>
inline OutIt print_comment_node(OutIt out, const xml_node<Ch>* node, int flags, int indent);
template <class OutIt, class Ch>
inline OutIt print_doctype_node(OutIt out, const xml_node<Ch>* node, int flags, int indent);
template <class OutIt, class Ch>
inline OutIt print_pi_node(OutIt out, const xml_node<Ch>* node, int flags, int indent);
}  // namespace rapidxml::internal
#include <rapidxml/rapidxml_print.hpp>

namespace qvzek {

namespace {

constexpr int kParseFlags = rapidxml::parse_non_destructive | rapidxml::parse_no_entity_translation;

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    size_t position = text.find(from);
    if (position == std::string::npos) return;
    std::string result;
    result.reserve(text.size());
    size_t start = 0;
    while (position != std::string::npos) {
        result.append(text, start, position - start);
        result.append(to);
        start = position + from.size();
        position = text.find(from, start);
    }
    result.append(text, start, std::string::npos);
    text.swap(result);
}

std::string decodeEntities(const char* data, size_t size) {
    std::string text(data, size);
    if (text.find('&') == std::string::npos) return text;
    replaceAll(text, "&lt;", "<");
    replaceAll(text, "&gt;", ">");
    replaceAll(text, "&apos;", "'");
    replaceAll(text, "&quot;", "\"");
    replaceAll(text, "&amp;", "&");
    return text;
}

template <class T>
T readNumber(const XmlNode* node, bool raw) {
    const std::string text = xmlNodeText(node, raw);
    if constexpr (std::is_unsigned_v<T>) {
        // A stream reads "-1" into an unsigned as its largest value.
        const size_t first = text.find_first_not_of(" \t\n\v\f\r");
        if (first != std::string::npos && text[first] == '-') throwStatusCode(kErrorBitfileContent);
    }
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    stream.unsetf(std::ios::basefield);
    T value{};
    stream >> value;
    if (stream.fail()) throwStatusCode(kErrorBitfileContent);
    return value;
}

bool startsWith(const char* p, const char* end, std::string_view prefix) {
    return static_cast<size_t>(end - p) >= prefix.size() &&
           std::memcmp(p, prefix.data(), prefix.size()) == 0;
}

const char* findText(const char* p, const char* end, std::string_view needle) {
    if (p >= end) return nullptr;
    const void* hit = memmem(p, static_cast<size_t>(end - p), needle.data(), needle.size());
    return hit ? static_cast<const char*>(hit) + needle.size() : nullptr;
}

using Tables = rapidxml::internal::lookup_tables<0>;
bool isWhitespace(char c) {
    return Tables::lookup_whitespace[static_cast<unsigned char>(c)] != 0;
}
bool isNameChar(char c) {
    return Tables::lookup_node_name[static_cast<unsigned char>(c)] != 0;
}
bool isAttributeNameChar(char c) {
    return Tables::lookup_attribute_name[static_cast<unsigned char>(c)] != 0;
}

// Skips an element's start tag the way the parser reads it (p after "<").
// Returns the position after the tag and whether it opens content, or null
// where the parser would fail.
const char* skipStartTag(const char* p, const char* end, bool& opens) {
    const char* name = p;
    while (p < end && isNameChar(*p)) ++p;
    if (p == name) return nullptr;
    while (p < end && isWhitespace(*p)) ++p;
    while (p < end && isAttributeNameChar(*p)) {
        ++p;
        while (p < end && isAttributeNameChar(*p)) ++p;
        while (p < end && isWhitespace(*p)) ++p;
        if (p >= end || *p != '=') return nullptr;
        ++p;
        while (p < end && isWhitespace(*p)) ++p;
        if (p >= end || (*p != '"' && *p != '\'')) return nullptr;
        const void* close = std::memchr(p + 1, *p, static_cast<size_t>(end - p - 1));
        if (!close) return nullptr;
        p = static_cast<const char*>(close) + 1;
        while (p < end && isWhitespace(*p)) ++p;
    }
    if (p < end && *p == '>') {
        opens = true;
        return p + 1;
    }
    if (end - p >= 2 && p[0] == '/' && p[1] == '>') {
        opens = false;
        return p + 2;
    }
    return nullptr;
}

// Skips a document type declaration (p after "<!DOCTYPE "), brackets nested.
const char* skipDoctype(const char* p, const char* end) {
    while (p < end && *p != '>') {
        if (*p == '[') {
            ++p;
            int depth = 1;
            while (depth > 0) {
                if (p >= end) return nullptr;
                if (*p == '[') ++depth;
                if (*p == ']') --depth;
                ++p;
            }
        } else {
            ++p;
        }
    }
    return p < end ? p + 1 : nullptr;
}

// Swaps every data value and attribute value below an element for its
// decoded text while a print runs, and puts the raw values back after.
class DecodedValues {
public:
    DecodedValues(rapidxml::xml_document<char>& document, const XmlNode* element) {
        substitute(document, const_cast<XmlNode*>(element));
    }
    DecodedValues(const DecodedValues&) = delete;
    DecodedValues& operator=(const DecodedValues&) = delete;
    ~DecodedValues() {
        for (const Saved& saved : nodes_) saved.node->value(saved.value, saved.size);
        for (const SavedAttribute& saved : attributes_)
            saved.attribute->value(saved.value, saved.size);
    }

private:
    struct Saved {
        XmlNode* node;
        char* value;
        size_t size;
    };
    struct SavedAttribute {
        XmlAttribute* attribute;
        char* value;
        size_t size;
    };

    static bool hasAmpersand(const char* value, size_t size) {
        return size != 0 && std::memchr(value, '&', size) != nullptr;
    }

    void substitute(rapidxml::xml_document<char>& document, XmlNode* root) {
        // Iterative walk: the depth was bounded when the text was parsed,
        // but the printer's stack is the only one that needs to pay for it.
        std::vector<XmlNode*> pending{root};
        while (!pending.empty()) {
            XmlNode* node = pending.back();
            pending.pop_back();
            if (node->type() == rapidxml::node_element || node->type() == rapidxml::node_data) {
                replaceValue(document, node);
            }
            for (XmlAttribute* a = node->first_attribute(); a; a = a->next_attribute()) {
                if (!hasAmpersand(a->value(), a->value_size())) continue;
                attributes_.push_back({a, a->value(), a->value_size()});
                const std::string decoded = decodeEntities(a->value(), a->value_size());
                a->value(document.allocate_string(decoded.data(), decoded.size()), decoded.size());
            }
            for (XmlNode* child = node->first_node(); child; child = child->next_sibling()) {
                pending.push_back(child);
            }
        }
    }

    void replaceValue(rapidxml::xml_document<char>& document, XmlNode* node) {
        if (!hasAmpersand(node->value(), node->value_size())) return;
        nodes_.push_back({node, node->value(), node->value_size()});
        const std::string decoded = decodeEntities(node->value(), node->value_size());
        node->value(document.allocate_string(decoded.data(), decoded.size()), decoded.size());
    }

    std::vector<Saved> nodes_;
    std::vector<SavedAttribute> attributes_;
};

}  // namespace

std::string xmlNodeText(const XmlNode* node, bool raw) {
    if (node == nullptr || node->value_size() == 0) return {};
    if (raw) return std::string(node->value(), node->value_size());
    return decodeEntities(node->value(), node->value_size());
}

uint64_t xmlNodeToU64(const XmlNode* node, bool raw) {
    return readNumber<uint64_t>(node, raw);
}
uint32_t xmlNodeToU32(const XmlNode* node, bool raw) {
    return readNumber<uint32_t>(node, raw);
}
int32_t xmlNodeToI32(const XmlNode* node, bool raw) {
    return readNumber<int32_t>(node, raw);
}

XmlNode* findChildElement(const XmlNode* element, const char* name) {
    if (element == nullptr) return nullptr;
    const size_t length = name ? std::strlen(name) : 0;
    for (XmlNode* child = element->first_node(); child; child = child->next_sibling()) {
        if (child->type() != rapidxml::node_element) continue;
        if (name == nullptr) return child;
        if (child->name_size() == length && std::memcmp(child->name(), name, length) == 0) {
            return child;
        }
    }
    return nullptr;
}

XmlNode* getRequiredChildElement(const XmlNode* element, const char* name) {
    XmlNode* child = findChildElement(element, name);
    if (child == nullptr) throwStatusCode(kErrorBitfileContent);
    return child;
}

XmlAttribute* getRequiredAttribute(const XmlNode* element, const char* name) {
    if (element != nullptr) {
        const size_t length = name ? std::strlen(name) : 0;
        for (XmlAttribute* a = element->first_attribute(); a; a = a->next_attribute()) {
            if (name == nullptr ||
                (a->name_size() == length && std::memcmp(a->name(), name, length) == 0)) {
                return a;
            }
        }
    }
    throwStatusCode(kErrorBitfileContent);
}

std::string xmlAttributeText(const XmlAttribute* attribute) {
    if (attribute == nullptr) return {};
    return decodeEntities(attribute->value(), attribute->value_size());
}

bool parseBoolean(const XmlNode* element, bool skipEntityDecoding) {
    const std::string text = xmlNodeText(element, skipEntityDecoding);
    if (compareCaseFolded(text, "true") == 0) return true;
    if (compareCaseFolded(text, "false") == 0) return false;
    throwStatusCode(kErrorBitfileContent);
}

uint32_t xmlNestingDepth(std::string_view text, uint32_t limit) {
    const char* p = text.data();
    const char* const end = p + text.size();
    uint32_t depth = 0;
    uint32_t deepest = 0;
    while (p < end) {
        const void* open = std::memchr(p, '<', static_cast<size_t>(end - p));
        if (!open) break;
        p = static_cast<const char*>(open) + 1;
        if (p >= end) break;
        if (*p == '/') {
            if (depth > 0) --depth;
            ++p;
        } else if (*p == '?') {
            p = findText(p + 1, end, "?>");
        } else if (*p == '!') {
            if (startsWith(p, end, "!--")) {
                p = findText(p + 3, end, "-->");
            } else if (startsWith(p, end, "![CDATA[")) {
                p = findText(p + 8, end, "]]>");
            } else if (startsWith(p, end, "!DOCTYPE") && end - p > 8 && isWhitespace(p[8])) {
                p = skipDoctype(p + 9, end);
            } else {
                const void* close = std::memchr(p, '>', static_cast<size_t>(end - p));
                p = close ? static_cast<const char*>(close) + 1 : nullptr;
            }
        } else {
            bool opens = false;
            p = skipStartTag(p, end, opens);
            if (p != nullptr && opens && ++depth > deepest) {
                deepest = depth;
                if (deepest > limit) break;
            }
        }
        // Where the parser would fail, nothing after counts.
        if (p == nullptr) break;
    }
    return deepest;
}

XmlDocument::XmlDocument(const char* text)
    : document_(std::make_unique<rapidxml::xml_document<char>>()) {
    if (text == nullptr) throwStatusCode(kErrorBitfileContent);
    // Byte by byte: a shorter text ends at its NUL before the third byte.
    if (text[0] == '\xEF' && text[1] == '\xBB' && text[2] == '\xBF') text += 3;
    const size_t length = std::strlen(text);
    if (xmlNestingDepth({text, length}) > kMaxXmlNestingDepth)
        throwStatusCode(kErrorBitfileContent);
    try {
        document_->parse<kParseFlags>(const_cast<char*>(text));
    } catch (const rapidxml::parse_error&) {
        throwStatusCode(kErrorBitfileContent);
    }
}

XmlDocument::~XmlDocument() = default;

XmlNode* XmlDocument::rootElement() const {
    XmlNode* root = findChildElement(document_.get(), nullptr);
    if (root == nullptr) throwStatusCode(kErrorBitfileContent);
    return root;
}

std::string printElement(const XmlNode* element) {
    DecodedValues decoded(*element->document(), element);
    std::string text;
    rapidxml::print(std::back_inserter(text), *element);
    return text;
}

void clearElementValue(XmlNode* element) {
    element->value(element->value(), 0);
    for (XmlNode* child = element->first_node(); child; child = child->next_sibling()) {
        if (child->type() == rapidxml::node_data) child->value(child->value(), 0);
    }
}

}  // namespace qvzek
