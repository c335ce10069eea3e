#pragma once
// Character references and the escaping of text written into markup.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace parvola {

struct NamedEntity {
    const char* name;
    int codePoint;
};

// The 253 named references (HTML 4.01 and "apos"), sorted by name.
extern const NamedEntity kNamedEntities[];
extern const size_t kNamedEntityCount;

// Code point of a named reference, 0 when unknown. An exact match wins; a name
// that matches only when ASCII case is ignored resolves to the first such entry
// (the capital letter where two names differ only in case).
int namedEntityCodePoint(std::string_view name);

// Appends the UTF-8 bytes of `codePoint`; false (nothing appended) for 0,
// surrogates and values above U+10FFFF.
bool appendUtf8(std::string& out, uint32_t codePoint);

// Replaces the references in an attribute value by their characters. Anything
// that is not a resolvable reference is copied literally.
std::string resolveEntities(std::string_view raw);

// Markup flags shared by the add and set operations of the XML document.
constexpr int kMarkupCdata = 0x01;
constexpr int kMarkupNoLineBreak = 0x02;
constexpr int kMarkupSpaceBeforeSlash = 0x04;
constexpr int kMarkupKeepReferences = 0x08;
constexpr int kMarkupStartTagOnly = 0x10;
constexpr int kMarkupEscapeQuotes = 0x100;

// Escapes < & > (and, with kMarkupEscapeQuotes, ' and "); with
// kMarkupKeepReferences a well-formed reference is left as it is.
std::string escapeMarkup(std::string_view text, int flags);

// "<![CDATA[" + text + "]]>", with every "]]>" inside split across two sections.
std::string cdataSection(std::string_view text);

}  // namespace parvola
