#pragma once
// The node scanner, tag-name reading and attribute scan that the XML document
// and the text-file layer (which looks for a declared encoding) share.
#include <string>
#include <string_view>

namespace parvola {

enum XmlNodeKind {
    kXmlEndTag = 0,
    kXmlElement = 1,
    kXmlText = 2,
    kXmlWhitespace = 4,
    kXmlCdata = 8,
    kXmlProcessingInstruction = 16,
    kXmlComment = 32,
    kXmlDoctype = 64,
    kXmlError = -1,
    kXmlEndOfDocument = -2,
};

struct XmlNode {
    int kind = kXmlEndOfDocument;
    int start = 0;
    int length = 0;
    bool emptyTag = false;  // a start tag closed by "/>"
    std::string error;      // set for kXmlError
};

// Reads the node that starts at `offset`. An error node covers the bytes to skip
// before scanning on (the '<' for a bad tag, the rest of the text when unterminated).
XmlNode scanXmlNode(std::string_view text, int offset);

// The tag name at `pos` (just after '<' or "</"): up to white space or one of <>=\/?!;'".
std::string_view xmlNameAt(std::string_view text, int pos);

// True when `candidate` names `wanted`; ASCII case is ignored when `foldCase`.
bool xmlNameEquals(std::string_view candidate, std::string_view wanted, bool foldCase);

// Where an attribute sits in a start tag (offsets in the document text).
struct XmlAttributeSpan {
    bool found = false;
    bool hasValue = false;  // false for a bare name without "="
    int valueStart = 0;     // first byte of the raw value
    int valueLength = 0;    // raw value bytes (quotes excluded)
    int spanStart = 0;      // value including its quotes, if it had any
    int spanEnd = 0;
    int insertAt = 0;  // after the last attribute (or the tag name): where a new one goes
};

// Scans the start tag `tag` (from '<' to '>') that begins at document offset
// `tagOffset` for the first attribute named `name`.
XmlAttributeSpan findXmlAttribute(std::string_view tag, int tagOffset, std::string_view name,
                                  bool foldCase);
// The same for `count` names at once, in one pass over the tag: spans[n] is
// what findXmlAttribute answers for names[n] (insertAt aside).
void findXmlAttributes(std::string_view tag, int tagOffset, const char* const* names, size_t count,
                       bool foldCase, XmlAttributeSpan* spans);

}  // namespace parvola
