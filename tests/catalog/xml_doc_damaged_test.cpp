// Damaged documents whose repair used to take a time growing with the square
// of their size: the results are checked here (the times are in the catalog
// benchmark).
#include <gtest/gtest.h>

#include <string>

#include "catalog/xml/xml_doc.h"

namespace parvola {
namespace {

// The tree under `s` as name, level, "!" when not ended, then the children.
std::string shape(const XmlDoc& doc, int s) {
    const XmlSlot& e = doc.slot(s);
    std::string out(doc.tagName(s));
    out += std::to_string(e.flags & kSlotLevelMask);
    if (e.flags & kSlotNotEnded)
        out += "!";
    if (e.firstChild != 0) {
        out += "(";
        for (int c = e.firstChild; c != 0; c = doc.slot(c).nextSibling) {
            out += shape(doc, c);
            if (doc.slot(c).nextSibling != 0)
                out += " ";
        }
        out += ")";
    }
    return out;
}

std::string topLevel(const XmlDoc& doc) {
    std::string out;
    for (int s = doc.slot(0).firstChild; s != 0; s = doc.slot(s).nextSibling)
        out += (out.empty() ? "" : " ") + shape(doc, s);
    return out;
}

// Every live element's level is one more than its parent's, and it is linked
// where its parent's child ring says.
void expectLevelsAndLinks(const XmlDoc& doc) {
    int elements = 0;
    for (int s = 1; s < doc.slotsInUse(); ++s) {
        const XmlSlot& e = doc.slot(s);
        if (e.flags & kSlotFree)
            continue;
        ++elements;
        const XmlSlot& p = doc.slot(e.parent);
        ASSERT_EQ(e.flags & kSlotLevelMask, ((p.flags & kSlotLevelMask) + 1) & kSlotLevelMask)
            << "slot " << s;
        if (e.nextSibling != 0) {
            ASSERT_EQ(doc.slot(e.nextSibling).previousSibling, s) << "slot " << s;
        }
    }
    EXPECT_GT(elements, 0);
}

std::string alternating(int pairs, int leaves) {
    std::string text = "<r>";
    for (int i = 0; i < pairs; ++i)
        text += "<a><b>";
    for (int i = 0; i < leaves; ++i)
        text += "<c/>";
    for (int i = 0; i < pairs; ++i)
        text += "</a>";
    return text + "</r>";
}

TEST(XmlDocDamaged, AlternatingUnendedElementsNestTheContentOnceEach) {
    XmlDoc doc;
    EXPECT_FALSE(doc.setText(alternating(3, 2)));
    EXPECT_EQ(doc.resultText(), "Element 'b' at offset 18 not ended");
    EXPECT_EQ(topLevel(doc), "r1(a2(b3! a3(b4! a4(b5! c5 c5))))");
    expectLevelsAndLinks(doc);
}

TEST(XmlDocDamaged, ManyAlternatingUnendedElementsKeepLevelsRight) {
    const int pairs = 20000;
    XmlDoc doc;
    EXPECT_FALSE(doc.setText(alternating(pairs, pairs)));
    EXPECT_EQ(doc.slotsInUse(), 1 + 1 + 3 * pairs);
    expectLevelsAndLinks(doc);
    // Each "a" holds its unended "b" and then the next "a"; the innermost "a"
    // holds its "b" and then all the leaves.
    int innermost = doc.slot(0).firstChild;
    for (int s = innermost; doc.slot(s).firstChild != 0;) {
        innermost = s;
        s = doc.slot(doc.slot(s).firstChild).previousSibling;  // the last child
    }
    EXPECT_EQ(doc.tagName(innermost), "a");
    EXPECT_EQ(doc.slot(innermost).flags & kSlotLevelMask, pairs + 1);
    int first = doc.slot(innermost).firstChild;
    EXPECT_EQ(doc.tagName(first), "b");
    EXPECT_TRUE(doc.slot(first).flags & kSlotNotEnded);
    int leaves = 0;
    for (int s = doc.slot(first).nextSibling; s != 0; s = doc.slot(s).nextSibling) {
        EXPECT_EQ(doc.tagName(s), "c");
        EXPECT_EQ(doc.slot(s).flags & kSlotLevelMask, pairs + 2);
        ++leaves;
    }
    EXPECT_EQ(leaves, pairs);
}

TEST(XmlDocDamaged, EndTagsThatMatchNothingOpenLeaveTheOpenElementsAsTheyAre) {
    XmlDoc doc;
    EXPECT_FALSE(doc.setText("<r><a><a><a></b></b></b></r>"));
    EXPECT_EQ(doc.resultText(),
              "End tag 'b' at offset 12 does not match start tag 'a' at offset 9");
    EXPECT_EQ(topLevel(doc), "r1(a2! a2! a2!)");

    std::string text = "<r>";
    const int depth = 30000;
    for (int i = 0; i < depth; ++i)
        text += "<a>";
    for (int i = 0; i < depth; ++i)
        text += "</b>";
    text += "</r>";
    EXPECT_FALSE(doc.setText(text));
    expectLevelsAndLinks(doc);
    EXPECT_EQ(doc.slot(0).firstChild, 1);
    int children = 0;
    for (int s = doc.slot(1).firstChild; s != 0; s = doc.slot(s).nextSibling) {
        EXPECT_TRUE(doc.slot(s).flags & kSlotNotEnded);
        ++children;
    }
    EXPECT_EQ(children, depth);
}

TEST(XmlDocDamaged, TheInnermostOpenElementOfTheNameEndsAndCaseFoldsOnlyWhenAsked) {
    XmlDoc doc;
    // "</a>" ends the inner "a" (the one in "b"), not the outer one.
    EXPECT_FALSE(doc.setText("<r><a><b><a><c></d></a></b></a></r>"));
    EXPECT_EQ(topLevel(doc), "r1(a2(b3(a4(c5!))))");
    EXPECT_EQ(doc.resultText(),
              "End tag 'd' at offset 15 does not match start tag 'c' at offset 12");

    const char* mixed = "<R><a><b><A><c></B></a></r>";
    EXPECT_FALSE(doc.setText(mixed));
    EXPECT_EQ(topLevel(doc), "R1! a1(b2! A2! c2!)");
    doc.setDocumentFlags(kDocIgnoreCase);
    EXPECT_FALSE(doc.setText(mixed));
    EXPECT_EQ(topLevel(doc), "R1(a2(b3(A4! c4!)))");
    expectLevelsAndLinks(doc);
}

}  // namespace
}  // namespace parvola
