#include "catalog/xml/xml_scanner.h"

#include <cstring>

namespace parvola {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool endsName(char c) {
    return isSpace(c) || (c != 0 && std::strchr("<>=\\/?!;'\"", c) != nullptr);
}

bool opensElement(char ch) {
    unsigned char c = static_cast<unsigned char>(ch);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80 || c == ':' || c == '_';
}

std::string at(int offset) {
    return " at offset " + std::to_string(offset);
}

XmlNode errorNode(int start, int length, std::string message) {
    XmlNode node;
    node.kind = kXmlError;
    node.start = start;
    node.length = length;
    node.error = std::move(message);
    return node;
}

XmlNode unterminated(std::string_view text, int start, const char* what) {
    return errorNode(start, static_cast<int>(text.size()) - start,
                     std::string(what) + at(start) + " unterminated");
}

XmlNode made(int kind, int start, int end) {
    XmlNode node;
    node.kind = kind;
    node.start = start;
    node.length = end - start;
    return node;
}

// A node that ends with `terminator`, searched from `from`.
XmlNode delimited(std::string_view text, int start, int from, std::string_view terminator, int kind,
                  const char* what) {
    size_t end = text.find(terminator, static_cast<size_t>(from));
    if (end == std::string_view::npos)
        return unterminated(text, start, what);
    return made(kind, start, static_cast<int>(end + terminator.size()));
}

XmlNode startTag(std::string_view text, int start) {
    char quote = 0;
    for (size_t i = static_cast<size_t>(start) + 1; i < text.size(); ++i) {
        char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            XmlNode node = made(kXmlElement, start, static_cast<int>(i + 1));
            node.emptyTag = text[i - 1] == '/';
            return node;
        }
    }
    return unterminated(text, start, "Element tag");
}

XmlNode doctype(std::string_view text, int start) {
    int depth = 0;
    char quote = 0;
    for (size_t i = static_cast<size_t>(start) + 2; i < text.size(); ++i) {
        char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '<') {
            ++depth;
        } else if (c == '>') {
            if (depth == 0)
                return made(kXmlDoctype, start, static_cast<int>(i + 1));
            --depth;
        }
    }
    return unterminated(text, start, "Doctype");
}

}  // namespace

XmlNode scanXmlNode(std::string_view text, int offset) {
    const int size = static_cast<int>(text.size());
    if (offset >= size)
        return made(kXmlEndOfDocument, size, size);
    if (text[offset] != '<') {
        size_t next = text.find('<', static_cast<size_t>(offset));
        int end = next == std::string_view::npos ? size : static_cast<int>(next);
        int kind = kXmlWhitespace;
        for (int i = offset; i < end; ++i) {
            if (!isSpace(text[i])) {
                kind = kXmlText;
                break;
            }
        }
        return made(kind, offset, end);
    }
    if (offset + 1 >= size)
        return unterminated(text, offset, "tag");
    char c = text[offset + 1];
    if (opensElement(c))
        return startTag(text, offset);
    if (c == '/')
        return delimited(text, offset, offset + 2, ">", kXmlEndTag, "Element end tag");
    if (c == '?') {
        return delimited(text, offset, offset + 2, "?>", kXmlProcessingInstruction,
                         "Processing instruction");
    }
    if (c == '!') {
        if (offset + 2 >= size)
            return unterminated(text, offset, "tag");
        char d = text[offset + 2];
        if (d == '-') {
            if (offset + 3 >= size || text[offset + 3] != '-')
                return errorNode(offset, 1, "Incorrect comment tag" + at(offset));
            return delimited(text, offset, offset + 4, "-->", kXmlComment, "Comment");
        }
        if (d == '[') {
            if (offset + 3 >= size || text[offset + 3] != 'C')
                return errorNode(offset, 1, "Incorrect tag" + at(offset));
            return delimited(text, offset, offset + 3, "]]>", kXmlCdata, "CDATA Section");
        }
        if (d == 'D')
            return doctype(text, offset);
        return errorNode(offset, 1, "Incorrect ! tag" + at(offset));
    }
    return errorNode(offset, 1, "Incorrect tag name character" + at(offset));
}

std::string_view xmlNameAt(std::string_view text, int pos) {
    size_t end = static_cast<size_t>(pos);
    while (end < text.size() && !endsName(text[end]))
        ++end;
    return text.substr(static_cast<size_t>(pos), end - static_cast<size_t>(pos));
}

bool xmlNameEquals(std::string_view candidate, std::string_view wanted, bool foldCase) {
    if (candidate.size() != wanted.size())
        return false;
    if (!foldCase)
        return candidate == wanted;
    for (size_t i = 0; i < candidate.size(); ++i) {
        unsigned char a = static_cast<unsigned char>(candidate[i]);
        unsigned char b = static_cast<unsigned char>(wanted[i]);
        if (a >= 'A' && a <= 'Z')
            a += 32;
        if (b >= 'A' && b <= 'Z')
            b += 32;
        if (a != b)
            return false;
    }
    return true;
}

namespace {

// Walks the attributes of the start tag `tag` (from '<' to '>') that begins
// at document offset `tagOffset`, in order: `visit(name, span)` gets each
// with its span (found set) and returns true to stop. `insertAt` follows
// the walk: after the last attribute seen (or the tag name).
template <typename Visit>
void scanXmlAttributes(std::string_view tag, int tagOffset, int& insertAt, Visit visit) {
    size_t i = 1;
    while (i < tag.size() && !endsName(tag[i]))
        ++i;  // the tag name
    insertAt = tagOffset + static_cast<int>(i);
    while (i < tag.size()) {
        while (i < tag.size() && isSpace(tag[i]))
            ++i;
        if (i >= tag.size())
            break;
        char c = tag[i];
        if (c == '/' || c == '>' || c == '?')
            break;
        size_t nameStart = i;
        while (i < tag.size() && !endsName(tag[i]))
            ++i;
        std::string_view attrName = tag.substr(nameStart, i - nameStart);
        if (attrName.empty()) {
            ++i;  // a stray character: step over it
            continue;
        }
        size_t afterName = i;
        while (i < tag.size() && isSpace(tag[i]))
            ++i;
        XmlAttributeSpan span;
        span.found = true;
        if (i >= tag.size() || tag[i] != '=') {
            // A name without value.
            insertAt = tagOffset + static_cast<int>(afterName);
            i = afterName;
            span.valueStart = span.spanStart = span.spanEnd = span.insertAt = insertAt;
            if (visit(attrName, span))
                return;
            continue;
        }
        ++i;
        while (i < tag.size() && isSpace(tag[i]))
            ++i;
        size_t valueStart, valueEnd, spanStart = i, spanEnd;
        if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
            char quote = tag[i];
            valueStart = i + 1;
            size_t close = tag.find(quote, valueStart);
            valueEnd = close == std::string_view::npos ? tag.size() : close;
            spanEnd = close == std::string_view::npos ? tag.size() : close + 1;
        } else {
            valueStart = i;
            // An unquoted value ends at white space or '>', and also before the
            // "/>" of an empty tag, so a new attribute never lands between them.
            while (i < tag.size() && !isSpace(tag[i]) && tag[i] != '>' &&
                   !(tag[i] == '/' && i + 1 < tag.size() && tag[i + 1] == '>'))
                ++i;
            valueEnd = spanEnd = i;
        }
        i = spanEnd;
        insertAt = tagOffset + static_cast<int>(spanEnd);
        span.hasValue = true;
        span.insertAt = insertAt;
        span.valueStart = tagOffset + static_cast<int>(valueStart);
        span.valueLength = static_cast<int>(valueEnd - valueStart);
        span.spanStart = tagOffset + static_cast<int>(spanStart);
        span.spanEnd = tagOffset + static_cast<int>(spanEnd);
        if (visit(attrName, span))
            return;
    }
}

}  // namespace

XmlAttributeSpan findXmlAttribute(std::string_view tag, int tagOffset, std::string_view name,
                                  bool foldCase) {
    XmlAttributeSpan found;
    int insertAt = 0;
    scanXmlAttributes(tag, tagOffset, insertAt,
                      [&](std::string_view attrName, const XmlAttributeSpan& span) {
                          if (!xmlNameEquals(attrName, name, foldCase))
                              return false;
                          found = span;
                          return true;
                      });
    if (!found.found)
        found.insertAt = insertAt;
    return found;
}

void findXmlAttributes(std::string_view tag, int tagOffset, const char* const* names, size_t count,
                       bool foldCase, XmlAttributeSpan* spans) {
    for (size_t n = 0; n < count; ++n)
        spans[n] = XmlAttributeSpan();
    size_t left = count;
    int insertAt = 0;
    scanXmlAttributes(tag, tagOffset, insertAt,
                      [&](std::string_view attrName, const XmlAttributeSpan& span) {
                          for (size_t n = 0; n < count; ++n) {
                              // The first attribute of a name counts, as for findXmlAttribute.
                              if (!spans[n].found && xmlNameEquals(attrName, names[n], foldCase)) {
                                  spans[n] = span;
                                  --left;
                              }
                          }
                          return left == 0;
                      });
}

}  // namespace parvola
