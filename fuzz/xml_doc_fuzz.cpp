// The XML engine on any text: parse, walk every element with the cursor and
// through the slot table, read attributes; with selector bits also edit
// (set an attribute, add a child, remove an element) and parse the result
// again.
//
// Input: one selector byte, then the document text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalog/xml/xml_doc.h"

namespace {

const char* const kAttributes[] = {"Name",  "Version", "SUM",  "Path", "Del",  "Subject",
                                   "MsgID", "CT",      "Size", "LT",   "name", "x"};

void readAttributes(const parvola::XmlDoc& doc, int slot) {
    for (const char* name : kAttributes)
        doc.getAttribute(slot, name);
}

// Depth-first with the cursor, bounded so a deep document cannot take long.
void walk(parvola::XmlDoc& doc, int depth, int& budget) {
    while (budget-- > 0 && doc.findChild()) {
        readAttributes(doc, doc.childPosition());
        if (depth < 64 && doc.enter()) {
            walk(doc, depth + 1, budget);
            doc.leave();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const int selector = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    parvola::XmlDoc doc;
    if ((selector & 1) != 0)
        doc.setDocumentFlags(parvola::kDocIgnoreCase);
    doc.setText(text);
    for (int slot = 0; slot < doc.slotsInUse(); ++slot) {
        doc.tagName(slot);
        readAttributes(doc, slot);
    }
    doc.resetPosition();
    int budget = 4096;
    if (doc.findNext()) {
        readAttributes(doc, doc.currentPosition());
        walk(doc, 0, budget);
    }
    doc.resetPosition();
    doc.findNext("Folder");

    if ((selector & 2) != 0) {
        doc.resetPosition();
        if (doc.findNext()) {
            doc.setAttribute("Name", text.substr(0, 16));
            doc.setAttribute("Size", static_cast<long long>(size));
            doc.addChildElement("File", "a&b<c>");
            if ((selector & 4) != 0 && doc.findChild() && doc.enter()) {
                doc.removeElement();
                doc.leave();
            }
        }
        parvola::XmlDoc again;
        again.setText(doc.text());
    }
    return 0;
}
