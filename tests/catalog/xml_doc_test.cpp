#include "catalog/xml/xml_doc.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "catalog/xml/xml_entities.h"
#include "catalog/xml/xml_scanner.h"

namespace parvola {
namespace {

const char kHeader[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

// Every live slot must describe exactly the text it claims: '<' at its start,
// its own name at the end tag, and lengths inside its parent's.
void expectSlotsConsistent(const XmlDoc& doc) {
    const std::string& text = doc.text();
    EXPECT_EQ(doc.slot(0).length, static_cast<int>(text.size()));
    for (int s = 1; s < doc.slotsInUse(); ++s) {
        const XmlSlot& e = doc.slot(s);
        if (e.flags & kSlotFree)
            continue;
        ASSERT_LT(e.start, static_cast<int>(text.size())) << "slot " << s;
        EXPECT_EQ(text[e.start], '<') << "slot " << s;
        EXPECT_EQ(text[e.start + e.startTagLength - 1], '>') << "slot " << s;
        if (e.endTagLength > 0) {
            std::string end = text.substr(e.start + e.length - e.endTagLength, e.endTagLength);
            EXPECT_EQ(end, "</" + std::string(doc.tagName(s)) + ">") << "slot " << s;
        }
        if (e.parent != 0) {
            const XmlSlot& p = doc.slot(e.parent);
            EXPECT_GT(e.start, p.start);
            EXPECT_LE(e.start + e.length, p.start + p.length);
            EXPECT_EQ(e.flags & kSlotLevelMask, (p.flags & kSlotLevelMask) + 1);
        }
    }
}

// ---- parsing and result texts ---------------------------------------------

// Reading several attributes in one pass answers what one lookup per name
// answers: the first of repeated names, bare names, unquoted values, case.
TEST(XmlAttributes, OnePassAnswersAsOneLookupPerName) {
    const std::string tags[] = {
        "<File Name=\"a&amp;b\" Del=false Size='12' Name=\"second\" Flag LT=\"\"/>",
        "<File size=\"7\" NAME='x' del>",
        "<File>",
        "<File Subject=\"PARVOL:x;1\" CT=\"09-10-25 14:03:07\"   MsgID=3 >",
    };
    const char* const names[] = {"Name",    "Del",     "Size", "Flag", "LT",
                                 "Missing", "Subject", "CT",   "MsgID"};
    for (const std::string& tag : tags) {
        for (const bool fold : {false, true}) {
            XmlAttributeSpan spans[std::size(names)];
            findXmlAttributes(tag, 100, names, std::size(names), fold, spans);
            for (size_t n = 0; n < std::size(names); ++n) {
                SCOPED_TRACE(tag + " " + names[n]);
                const XmlAttributeSpan one = findXmlAttribute(tag, 100, names[n], fold);
                EXPECT_EQ(spans[n].found, one.found);
                EXPECT_EQ(spans[n].hasValue, one.hasValue);
                EXPECT_EQ(spans[n].valueStart, one.valueStart);
                EXPECT_EQ(spans[n].valueLength, one.valueLength);
                EXPECT_EQ(spans[n].spanStart, one.spanStart);
                EXPECT_EQ(spans[n].spanEnd, one.spanEnd);
            }
        }
    }
    XmlDoc doc;
    ASSERT_TRUE(doc.setText(std::string(kHeader) +
                            "<User><File Name=\"a&amp;b\" Del=\"false\" Size=\"12\" "
                            "Name=\"second\" LT=\"\"/></User>"));
    ASSERT_TRUE(doc.findNext("User") && doc.enter() && doc.findNext("File"));
    std::string values[std::size(names)];
    doc.attributes(names, std::size(names), values);
    for (size_t n = 0; n < std::size(names); ++n)
        EXPECT_EQ(values[n], doc.attribute(names[n])) << names[n];
    EXPECT_EQ(values[0], "a&b");
    EXPECT_EQ(values[2], "12");
}

TEST(XmlDocParse, FreshDocumentIsEmpty) {
    XmlDoc doc;
    EXPECT_FALSE(doc.isWellFormed());
    EXPECT_EQ(doc.resultText(), "Empty document");
}

TEST(XmlDocParse, StructureMessages) {
    XmlDoc doc;
    EXPECT_FALSE(doc.setText(""));
    EXPECT_EQ(doc.resultText(), "Empty document");
    EXPECT_FALSE(doc.setText(static_cast<const char*>(nullptr)));
    EXPECT_EQ(doc.resultText(), "Empty document");
    EXPECT_FALSE(doc.setText("just text <!-- c -->"));
    EXPECT_EQ(doc.resultText(), "No root element");
    EXPECT_FALSE(doc.setText("<a/><b x='1'/>"));
    EXPECT_EQ(doc.resultText(), "Root element has sibling");
    // Still navigable.
    EXPECT_TRUE(doc.findNext("b"));
    EXPECT_EQ(doc.attribute("x"), "1");
    EXPECT_TRUE(doc.setText("<a><b/></a>"));
    EXPECT_EQ(doc.resultText(), "");
}

TEST(XmlDocParse, NotEndedElementIsReportedAndItsChildrenBecomeSiblings) {
    XmlDoc doc;
    EXPECT_FALSE(doc.setText("<a><b><c/></a>"));
    EXPECT_EQ(doc.resultText(), "Element 'b' at offset 3 not ended");
    EXPECT_TRUE(doc.slot(0).flags & kSlotNotWellFormed);
    ASSERT_TRUE(doc.findNext("a"));
    EXPECT_TRUE(doc.slot(doc.currentPosition()).flags & kSlotDamaged);
    ASSERT_TRUE(doc.findChild("b"));
    const XmlSlot& b = doc.slot(doc.childPosition());
    EXPECT_TRUE(b.flags & kSlotNotEnded);
    EXPECT_EQ(b.length, 3);
    EXPECT_TRUE(doc.findChild("c"));  // c follows b as a sibling now
    expectSlotsConsistent(doc);
}

TEST(XmlDocParse, EndTagErrors) {
    XmlDoc doc;
    EXPECT_FALSE(doc.setText("<a></b></a>"));
    EXPECT_EQ(doc.resultText(), "End tag 'b' at offset 3 does not match start tag 'a' at offset 0");
    EXPECT_FALSE(doc.setText("<a/></x>"));
    EXPECT_EQ(doc.resultText(), "No start tag for end tag 'x' at offset 4");
    EXPECT_FALSE(doc.setText("<a>"));
    EXPECT_EQ(doc.resultText(), "Element 'a' at offset 0 not ended");
    // Only the first error is kept.
    EXPECT_FALSE(doc.setText("<a><b></a></y>"));
    EXPECT_EQ(doc.resultText(), "Element 'b' at offset 3 not ended");
}

TEST(XmlDocParse, ScannerMessages) {
    XmlDoc doc;
    EXPECT_FALSE(doc.setText("<a><!-x--></a>"));
    EXPECT_EQ(doc.resultText(), "Incorrect comment tag at offset 3");
    EXPECT_FALSE(doc.setText("<a><![X[x]]></a>"));
    EXPECT_EQ(doc.resultText(), "Incorrect tag at offset 3");
    EXPECT_FALSE(doc.setText("<a><!Q></a>"));
    EXPECT_EQ(doc.resultText(), "Incorrect ! tag at offset 3");
    EXPECT_FALSE(doc.setText("<a>< b</a>"));
    EXPECT_EQ(doc.resultText(), "Incorrect tag name character at offset 3");
    EXPECT_FALSE(doc.setText("<a><b x='1"));
    EXPECT_EQ(doc.resultText(), "Element tag at offset 3 unterminated");
    EXPECT_FALSE(doc.setText("<a></a"));
    EXPECT_EQ(doc.resultText(), "Element end tag at offset 3 unterminated");
    EXPECT_FALSE(doc.setText("<a><![CDATA[x</a>"));
    EXPECT_EQ(doc.resultText(), "CDATA Section at offset 3 unterminated");
    EXPECT_FALSE(doc.setText("<?xml x<a/>"));
    EXPECT_EQ(doc.resultText(), "Processing instruction at offset 0 unterminated");
    EXPECT_FALSE(doc.setText("<a/><!-- x"));
    EXPECT_EQ(doc.resultText(), "Comment at offset 4 unterminated");
    EXPECT_FALSE(doc.setText("<!DOCTYPE a [<!ENTITY x 'y'>"));
    EXPECT_EQ(doc.resultText(), "Doctype at offset 0 unterminated");
    EXPECT_FALSE(doc.setText("<a/><"));
    EXPECT_EQ(doc.resultText(), "tag at offset 4 unterminated");
}

TEST(XmlDocParse, QuotedGreaterThanDoesNotEndTagAndOtherNodesAreSkipped) {
    XmlDoc doc;
    ASSERT_TRUE(
        doc.setText("<!DOCTYPE r [<!ELEMENT r ANY>]><r a='x>y' b=\"<\"><!-- <no/> -->"
                    "<![CDATA[<no/>]]><?pi <no/>?><k/></r>"));
    ASSERT_TRUE(doc.findNext("r"));
    EXPECT_EQ(doc.attribute("a"), "x>y");
    EXPECT_EQ(doc.attribute("b"), "<");
    EXPECT_TRUE(doc.findChild("k"));
    EXPECT_FALSE(doc.findChild("no"));
}

TEST(XmlDocParse, ChineseNamesAndValues) {
    XmlDoc doc;
    ASSERT_TRUE(doc.setText("<目录 名='我的文档'><子/></目录>"));
    ASSERT_TRUE(doc.findNext("目录"));
    EXPECT_EQ(doc.attribute("名"), "我的文档");
    EXPECT_TRUE(doc.findChild("子"));
}

TEST(XmlDocParse, ManyElementsGrowTheSlotTable) {
    std::string text = "<r>";
    for (int i = 0; i < 70000; ++i)
        text += "<e/>";
    text += "</r>";
    XmlDoc doc;
    ASSERT_TRUE(doc.setText(text));
    EXPECT_EQ(doc.slotsInUse(), 70002);
    ASSERT_TRUE(doc.findNext("r"));
    ASSERT_TRUE(doc.enter());
    int n = 0;
    while (doc.findNext("e"))
        ++n;
    EXPECT_EQ(n, 70000);
    EXPECT_EQ(doc.slot(70001).start, 3 + 4 * 69999);
}

// ---- navigation -----------------------------------------------------------

TEST(XmlDocNavigate, FindNextFindChildEnterLeave) {
    XmlDoc doc;
    ASSERT_TRUE(doc.setText("<r><a n='1'/><b/><a n='2'><c/></a></r>"));
    EXPECT_FALSE(doc.enter());  // no current element
    EXPECT_FALSE(doc.leave());
    EXPECT_FALSE(doc.findNext("a"));  // the document level only holds r
    EXPECT_EQ(doc.currentPosition(), 0);
    // findChild without a current element first moves to the root.
    ASSERT_TRUE(doc.findChild("a"));
    EXPECT_EQ(doc.tagName(doc.currentPosition()), "r");
    EXPECT_EQ(doc.childAttribute("n"), "1");
    ASSERT_TRUE(doc.findChild("a"));
    EXPECT_EQ(doc.childAttribute("n"), "2");
    int child = doc.childPosition();
    EXPECT_FALSE(doc.findChild("a"));  // failure keeps the child position
    EXPECT_EQ(doc.childPosition(), child);
    ASSERT_TRUE(doc.enter());
    EXPECT_EQ(doc.attribute("n"), "2");
    ASSERT_TRUE(doc.enter());
    EXPECT_EQ(doc.currentPosition(), 0);
    EXPECT_TRUE(doc.findNext());
    EXPECT_EQ(doc.tagName(doc.currentPosition()), "c");
    ASSERT_TRUE(doc.leave());
    EXPECT_EQ(doc.attribute("n"), "2");
    EXPECT_EQ(doc.tagName(doc.childPosition()), "c");
    ASSERT_TRUE(doc.leave());
    EXPECT_EQ(doc.tagName(doc.currentPosition()), "r");
    EXPECT_EQ(doc.parentPosition(), 0);
    doc.resetPosition();
    EXPECT_EQ(doc.currentPosition() + doc.parentPosition() + doc.childPosition(), 0);
}

TEST(XmlDocNavigate, NamesCompareWholeAndCaseOnlyWhenAsked) {
    XmlDoc doc;
    ASSERT_TRUE(doc.setText("<r><Folders/><folder/><Folder Name='x' NameX='y'/></r>"));
    ASSERT_TRUE(doc.findChild("Folder"));
    EXPECT_EQ(doc.childAttribute("Name"), "x");
    EXPECT_EQ(doc.childAttribute("Nam"), "");
    EXPECT_EQ(doc.childAttribute("name"), "");
    doc.setDocumentFlags(kDocIgnoreCase);
    doc.resetPosition();
    ASSERT_TRUE(doc.findChild("FOLDER"));
    EXPECT_EQ(doc.tagName(doc.childPosition()), "folder");
}

// ---- attributes and entities -------------------------------------------------

TEST(XmlDocAttributes, EscapedValueRoundTripsAndSitsBeforeSlash) {
    XmlDoc doc;
    ASSERT_TRUE(doc.setText("<r><Folder/></r>"));
    ASSERT_TRUE(doc.findChild("Folder"));
    ASSERT_TRUE(doc.enter());  // the child becomes current
    ASSERT_TRUE(doc.setAttribute("Name", "say \"hi\" & <go> 'now'"));
    EXPECT_EQ(doc.text(),
              "<r><Folder Name=\"say &quot;hi&quot; &amp; &lt;go&gt; &apos;now&apos;\"/></r>");
    EXPECT_EQ(doc.attribute("Name"), "say \"hi\" & <go> 'now'");
    expectSlotsConsistent(doc);
}

TEST(XmlDocAttributes, ReplacingKeepsOtherAttributesInPlaceAndShiftsFollowers) {
    XmlDoc doc;
    ASSERT_TRUE(doc.setText("<r><a x='1' y=\"2\" z=3/><b q='w'/></r>"));
    ASSERT_TRUE(doc.findChild("a"));
    ASSERT_TRUE(doc.enter());
    ASSERT_TRUE(doc.setAttribute("y", "long value"));
    ASSERT_TRUE(doc.setAttribute("z", 42LL));
    ASSERT_TRUE(doc.setAttribute("x", ""));
    ASSERT_TRUE(doc.setAttribute("n", -7LL));
    EXPECT_EQ(doc.text(), "<r><a x=\"\" y=\"long value\" z=\"42\" n=\"-7\"/><b q='w'/></r>");
    expectSlotsConsistent(doc);
    ASSERT_TRUE(doc.findNext("b"));
    EXPECT_EQ(doc.attribute("q"), "w");
    EXPECT_EQ(doc.getAttribute(0, "q"), "");
    EXPECT_FALSE(XmlDoc().setAttribute("a", "b"));  // no current element
}

TEST(XmlDocAttributes, EntityResolution) {
    XmlDoc doc;
    ASSERT_TRUE(doc.setText(
        "<r a='&#x6211;&#25991;' b='&bogus; &amp &' c='&lt;&GT;&Amp;&quot;&apos;' "
        "d='&agrave;&Agrave;&AGRAVE;' e='&#0;&#xD800;&#x110000;&toolongname;' f='&#x1F600;'/>"));
    ASSERT_TRUE(doc.findNext("r"));
    EXPECT_EQ(doc.attribute("a"), "我文");
    EXPECT_EQ(doc.attribute("b"), "&bogus; &amp &");
    EXPECT_EQ(doc.attribute("c"), "<>&\"'");
    EXPECT_EQ(doc.attribute("d"), "àÀÀ");
    EXPECT_EQ(doc.attribute("e"), "&#0;&#xD800;&#x110000;&toolongname;");
    EXPECT_EQ(doc.attribute("f"), "\xF0\x9F\x98\x80");
}

TEST(XmlEntities, TableHoldsTheNamedReferences) {
    EXPECT_EQ(kNamedEntityCount, 253u);
    EXPECT_EQ(namedEntityCodePoint("apos"), 39);
    EXPECT_EQ(namedEntityCodePoint("nbsp"), 160);
    EXPECT_EQ(namedEntityCodePoint("euro"), 8364);
    EXPECT_EQ(namedEntityCodePoint("thetasym"), 977);
    EXPECT_EQ(namedEntityCodePoint("Dagger"), 8225);
    EXPECT_EQ(namedEntityCodePoint("dagger"), 8224);
    EXPECT_EQ(namedEntityCodePoint("nosuch"), 0);
    for (size_t i = 1; i < kNamedEntityCount; ++i) {
        EXPECT_LT(std::string(kNamedEntities[i - 1].name), std::string(kNamedEntities[i].name));
    }
}

TEST(XmlEntities, Escaping) {
    EXPECT_EQ(escapeMarkup("a<b>&'\"", 0), "a&lt;b&gt;&amp;'\"");
    EXPECT_EQ(escapeMarkup("'\"", kMarkupEscapeQuotes), "&apos;&quot;");
    EXPECT_EQ(escapeMarkup("&amp; &#x41; &a.b-c; & &1; &x", kMarkupKeepReferences),
              "&amp; &#x41; &a.b-c; &amp; &amp;1; &amp;x");
    EXPECT_EQ(escapeMarkup("中文<", 0), "中文&lt;");
    EXPECT_EQ(cdataSection("a]]>b]]>"), "<![CDATA[a]]]]><![CDATA[>b]]]]><![CDATA[>]]>");
}

// ---- adding and removing elements ----------------------------------------------

TEST(XmlDocEdit, CatalogHeaderThenUserThenFolder) {
    XmlDoc doc;
    doc.setText(kHeader);
    ASSERT_TRUE(doc.addElement("User"));
    EXPECT_EQ(doc.text(), std::string(kHeader) + "<User/>\r\n");
    EXPECT_TRUE(doc.isWellFormed());
    ASSERT_TRUE(doc.addChildElement("Folder"));
    EXPECT_EQ(doc.text(), std::string(kHeader) + "<User>\r\n<Folder/>\r\n</User>\r\n");
    EXPECT_EQ(doc.tagName(doc.childPosition()), "Folder");
    ASSERT_TRUE(doc.addChildElement("Recycle"));
    EXPECT_EQ(doc.text(),
              std::string(kHeader) + "<User>\r\n<Folder/>\r\n<Recycle/>\r\n</User>\r\n");
    expectSlotsConsistent(doc);
    // The text agrees with a fresh parse of itself.
    XmlDoc again;
    EXPECT_TRUE(again.setText(doc.text()));
}

TEST(XmlDocEdit, AddElementAfterCurrentAndIntoEmptyEndTaggedParent) {
    XmlDoc doc;
    ASSERT_TRUE(doc.setText("<r><a/>\r\n<c/>\r\n<p></p></r>"));
    ASSERT_TRUE(doc.findNext("r"));
    ASSERT_TRUE(doc.enter());
    ASSERT_TRUE(doc.findNext("a"));
    ASSERT_TRUE(doc.addElement("b", "x<y"));
    EXPECT_EQ(doc.text(), "<r><a/>\r\n<b>x&lt;y</b>\r\n<c/>\r\n<p></p></r>");
    ASSERT_TRUE(doc.findNext("c"));
    ASSERT_TRUE(doc.findNext("p"));
    ASSERT_TRUE(doc.addChildElement("q", {}, kMarkupSpaceBeforeSlash | kMarkupNoLineBreak));
    EXPECT_EQ(doc.text(), "<r><a/>\r\n<b>x&lt;y</b>\r\n<c/>\r\n<p>\r\n<q /></p></r>");
    ASSERT_TRUE(doc.addChildElement("z", "]]>", kMarkupCdata));
    EXPECT_EQ(doc.text(),
              "<r><a/>\r\n<b>x&lt;y</b>\r\n<c/>\r\n<p>\r\n<q /><z><![CDATA[]]]]><![CDATA[>]]>"
              "</z>\r\n</p></r>");
    expectSlotsConsistent(doc);
    // Sibling order is a, b, c, p.
    doc.resetPosition();
    ASSERT_TRUE(doc.findNext("r"));
    ASSERT_TRUE(doc.enter());
    std::string order;
    while (doc.findNext())
        order += doc.tagName(doc.currentPosition());
    EXPECT_EQ(order, "abcp");
    XmlDoc again;
    EXPECT_TRUE(again.setText(doc.text()));
}

TEST(XmlDocEdit, AddChildAfterChildPosition) {
    XmlDoc doc;
    ASSERT_TRUE(doc.setText("<r>\r\n<a/>\r\n<c/>\r\n</r>"));
    ASSERT_TRUE(doc.findChild("a"));
    ASSERT_TRUE(doc.addChildElement("b"));
    EXPECT_EQ(doc.text(), "<r>\r\n<a/>\r\n<b/>\r\n<c/>\r\n</r>");
    expectSlotsConsistent(doc);
}

TEST(XmlDocEdit, RemoveOnlyChildLeavesParentTagsWithLineBreak) {
    XmlDoc doc;
    ASSERT_TRUE(doc.setText("<User>\r\n<Folder/>\r\n</User>\r\n"));
    ASSERT_TRUE(doc.findNext("User"));
    ASSERT_TRUE(doc.enter());
    ASSERT_TRUE(doc.findNext("Folder"));
    int removed = doc.currentPosition();
    ASSERT_TRUE(doc.removeElement());
    EXPECT_EQ(doc.text(), "<User>\r\n</User>\r\n");
    EXPECT_EQ(doc.currentPosition(), 0);
    EXPECT_TRUE(doc.slot(removed).flags & kSlotFree);
    EXPECT_EQ(doc.freeListHead(), removed);
    EXPECT_TRUE(doc.isWellFormed());
    expectSlotsConsistent(doc);
    // Adding into the now childless parent puts a line break first.
    ASSERT_TRUE(doc.addElement("File"));
    EXPECT_EQ(doc.text(), "<User>\r\n<File/>\r\n</User>\r\n");
}

TEST(XmlDocEdit, RemoveSubtreeShiftsFollowersAndRepairsRing) {
    XmlDoc doc;
    ASSERT_TRUE(doc.setText("<r>\r\n<a/>\r\n<b><x/><y/></b>\r\n<c k='v'/>\r\n</r>"));
    ASSERT_TRUE(doc.findNext("r"));
    ASSERT_TRUE(doc.enter());
    ASSERT_TRUE(doc.findNext("b"));
    int before = doc.slotsInUse();
    ASSERT_TRUE(doc.removeElement());
    EXPECT_EQ(doc.tagName(doc.currentPosition()), "a");  // the previous sibling
    EXPECT_EQ(doc.text(), "<r>\r\n<a/>\r\n<c k='v'/>\r\n</r>");
    EXPECT_EQ(doc.slotsInUse(), before);
    ASSERT_TRUE(doc.findNext("c"));
    EXPECT_EQ(doc.attribute("k"), "v");
    expectSlotsConsistent(doc);
    // Remove the first child: the next becomes first and the ring holds.
    doc.resetPosition();
    ASSERT_TRUE(doc.findNext("r"));
    ASSERT_TRUE(doc.enter());
    ASSERT_TRUE(doc.findNext("a"));
    ASSERT_TRUE(doc.removeElement());
    EXPECT_EQ(doc.currentPosition(), 0);
    ASSERT_TRUE(doc.findNext());
    const XmlSlot& c = doc.slot(doc.currentPosition());
    EXPECT_TRUE(c.flags & kSlotFirstChild);
    EXPECT_EQ(c.previousSibling, doc.currentPosition());
    // Appending after c puts the new element last, and the ring points at it.
    ASSERT_TRUE(doc.addElement("d"));
    EXPECT_EQ(doc.slot(doc.slot(doc.parentPosition()).firstChild).previousSibling,
              doc.currentPosition());
    EXPECT_EQ(doc.text(), "<r>\r\n<c k='v'/>\r\n<d/>\r\n</r>");
    expectSlotsConsistent(doc);
    EXPECT_FALSE(XmlDoc().removeElement());
}

TEST(XmlDocEdit, RemoveStopsAtTextThatFollows) {
    XmlDoc doc;
    ASSERT_TRUE(doc.setText("<r><a/> tail</r>"));
    ASSERT_TRUE(doc.findChild("a"));
    ASSERT_TRUE(doc.enter());
    ASSERT_TRUE(doc.removeElement());
    EXPECT_EQ(doc.text(), "<r> tail</r>");
}

TEST(XmlDocEdit, AddingUnderNotEndedStartTagGivesItAnEndTag) {
    XmlDoc doc;
    doc.setText("<r>");
    ASSERT_TRUE(doc.findNext("r"));
    ASSERT_TRUE(doc.addChildElement("k"));
    EXPECT_EQ(doc.text(), "<r>\r\n<k/>\r\n</r>");
    EXPECT_FALSE(doc.slot(doc.currentPosition()).flags & kSlotNotEnded);
    expectSlotsConsistent(doc);
}

}  // namespace
}  // namespace parvola
