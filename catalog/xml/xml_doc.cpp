#include "catalog/xml/xml_doc.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "catalog/xml/text_file.h"
#include "catalog/xml/xml_entities.h"
#include "catalog/xml/xml_open_elements.h"
#include "catalog/xml/xml_scanner.h"

namespace parvola {
namespace {

constexpr int kSegmentSlots = 65536;
const XmlSlot kNoSlot{};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int levelOf(const XmlSlot& s) {
    return s.flags & kSlotLevelMask;
}

}  // namespace

XmlDoc::XmlDoc() {
    setText(std::string_view());
}

// ---- slot table -----------------------------------------------------------

XmlSlot& XmlDoc::at(int index) {
    return segments_[static_cast<size_t>(index >> 16)][static_cast<size_t>(index & 0xFFFF)];
}

const XmlSlot& XmlDoc::slot(int index) const {
    if (index < 0 || index >= nextFree_)
        return kNoSlot;
    return segments_[static_cast<size_t>(index >> 16)][static_cast<size_t>(index & 0xFFFF)];
}

void XmlDoc::ensureCapacity(int wanted) {
    if (wanted <= slotCapacity_)
        return;
    // Full segments hold exactly 65536 slots; only the last one is sized to
    // need, and is reallocated (and copied) when it must grow.
    int remaining = wanted;
    for (size_t s = 0; remaining > 0; ++s) {
        int size = std::min(remaining, kSegmentSlots);
        int have =
            s < segments_.size()
                ? std::min(kSegmentSlots, slotCapacity_ - static_cast<int>(s) * kSegmentSlots)
                : 0;
        if (s >= segments_.size()) {
            segments_.push_back(std::make_unique<XmlSlot[]>(static_cast<size_t>(size)));
        } else if (have < size) {
            auto grown = std::make_unique<XmlSlot[]>(static_cast<size_t>(size));
            std::copy(segments_[s].get(), segments_[s].get() + have, grown.get());
            segments_[s] = std::move(grown);
        }
        remaining -= size;
    }
    slotCapacity_ = wanted;
}

int XmlDoc::allocateSlot() {
    if (nextFree_ >= slotCapacity_)
        ensureCapacity(nextFree_ + nextFree_ / 2 + 1);
    int index = nextFree_++;
    at(index) = XmlSlot{};
    return index;
}

void XmlDoc::linkAsLastChild(int parent, int s) {
    XmlSlot& p = at(parent);
    XmlSlot& child = at(s);
    child.parent = parent;
    child.nextSibling = 0;
    child.flags = (child.flags & ~kSlotLevelMask) | ((levelOf(p) + 1) & kSlotLevelMask);
    if (p.firstChild == 0) {
        p.firstChild = s;
        child.previousSibling = s;
        child.flags |= kSlotFirstChild;
        return;
    }
    child.flags &= ~kSlotFirstChild;
    XmlSlot& first = at(p.firstChild);
    int last = first.previousSibling;
    at(last).nextSibling = s;
    child.previousSibling = last;
    first.previousSibling = s;
}

void XmlDoc::linkAfter(int previous, int s) {
    int parent = at(previous).parent;
    XmlSlot& child = at(s);
    child.parent = parent;
    child.flags = (child.flags & ~(kSlotLevelMask | kSlotFirstChild)) |
                  ((levelOf(at(parent)) + 1) & kSlotLevelMask);
    int next = at(previous).nextSibling;
    at(previous).nextSibling = s;
    child.previousSibling = previous;
    child.nextSibling = next;
    if (next != 0) {
        at(next).previousSibling = s;
    } else {
        at(at(parent).firstChild).previousSibling = s;  // s is the new last child
    }
}

void XmlDoc::unlink(int s) {
    XmlSlot& e = at(s);
    XmlSlot& p = at(e.parent);
    int next = e.nextSibling;
    if (p.firstChild == s) {
        if (next != 0) {
            p.firstChild = next;
            at(next).previousSibling = e.previousSibling;  // the last child
            at(next).flags |= kSlotFirstChild;
        } else {
            p.firstChild = 0;
        }
    } else {
        at(e.previousSibling).nextSibling = next;
        if (next != 0) {
            at(next).previousSibling = e.previousSibling;
        } else {
            at(p.firstChild).previousSibling = e.previousSibling;
        }
    }
    e.nextSibling = 0;
    e.previousSibling = 0;
    e.flags &= ~kSlotFirstChild;
}

// Gives every element the level of its depth, walking the tree once without
// recursion (a damaged document may nest as deep as it is long).
void XmlDoc::setAllLevels() {
    int s = at(0).firstChild;
    int level = 1;
    while (s != 0) {
        XmlSlot& e = at(s);
        e.flags = (e.flags & ~kSlotLevelMask) | (level & kSlotLevelMask);
        if (e.firstChild != 0) {
            s = e.firstChild;
            ++level;
            continue;
        }
        while (s != 0 && at(s).nextSibling == 0) {
            s = at(s).parent;
            --level;
        }
        if (s != 0)
            s = at(s).nextSibling;
    }
}

void XmlDoc::release(int s) {
    for (int c = at(s).firstChild; c != 0;) {
        int next = at(c).nextSibling;
        release(c);
        c = next;
    }
    XmlSlot& e = at(s);
    e = XmlSlot{};
    e.flags = kSlotFree;
    e.nextSibling = freeHead_;
    freeHead_ = s;
}

// ---- parsing --------------------------------------------------------------

bool XmlDoc::setText(const char* text) {
    return setText(text == nullptr ? std::string_view() : std::string_view(text));
}

bool XmlDoc::setText(std::string_view text) {
    text_.assign(text);
    result_.clear();
    parse();
    return isWellFormed();
}

bool XmlDoc::loadFile(const std::string& path) {
    std::string bytes, diagnostic;
    if (!readFileBytes(path, bytes, diagnostic)) {
        text_.clear();
        result_.clear();
        parse();
        result_ = diagnostic;
        return false;
    }
    return loadBytes(std::move(bytes));
}

bool XmlDoc::loadBytes(std::string bytes) {
    std::string diagnostic;
    int flags = docFlags_;
    decodeTextBytes(std::move(bytes), text_, diagnostic, flags);
    docFlags_ = flags;
    if (text_.size() > static_cast<size_t>(INT_MAX) / 2)
        text_.clear();  // offsets are 32-bit
    result_ = diagnostic;
    parse();
    return isWellFormed();
}

bool XmlDoc::saveFile(const std::string& path, std::string* written) {
    std::string diagnostic;
    int flags = docFlags_;
    bool ok = writeTextFile(path, text_, diagnostic, flags, written);
    docFlags_ = flags;
    result_ = diagnostic;
    return ok;
}

void XmlDoc::noteError(int enclosing, const std::string& message) {
    at(0).flags |= kSlotNotWellFormed;
    if (enclosing != 0)
        at(enclosing).flags |= kSlotDamaged;
    if (result_.empty())
        result_ = message;
}

// `chain` holds elements left open, each the last child of the one before
// (outermost first). None of them is ended, so the children of each lie
// outside its text: closing them from the innermost out, every child becomes
// a following sibling, which leaves all of them side by side after the
// outermost one: chain[0], its other children, chain[1], its other children,
// and so on. Built in one pass: one element at a time would move the same
// children again for every element around them, a time that grows with the
// square of the nesting depth of a damaged document. The moved elements keep
// their old levels here: only elements still open are read for their level
// while parsing, and those never move, so the levels are set once when the
// parse ends. Setting them at each move would walk a subtree again every time
// a later run of unended elements moves it once more.
bool XmlDoc::closeNotEnded(const std::vector<int>& chain) {
    if (chain.empty())
        return false;
    bool moved = false;
    int after = chain.front();
    for (int s : chain) {
        XmlSlot& e = at(s);
        e.flags |= kSlotNotEnded;
        e.length = e.startTagLength;
        e.endTagLength = 0;
        std::vector<int> children;
        for (int c = e.firstChild; c != 0; c = at(c).nextSibling)
            children.push_back(c);
        for (int c : children) {
            unlink(c);
            linkAfter(after, c);
            moved = true;
            after = c;
        }
    }
    return moved;
}

void XmlDoc::parse() {
    std::string loadDiagnostic = std::move(result_);
    result_.clear();
    resetPosition();
    segments_.clear();
    slotCapacity_ = 0;
    nextFree_ = 1;
    freeHead_ = 0;
    ensureCapacity(static_cast<int>(text_.size() / 64) + 8);
    at(0) = XmlSlot{};

    XmlOpenElements open((docFlags_ & kDocIgnoreCase) != 0);
    bool levelsStale = false;
    const std::string_view text(text_);
    auto offsetText = [](int offset) { return " at offset " + std::to_string(offset); };
    // The elements open above `keep` (innermost first in the messages) are
    // not ended.
    auto notEnded = [&](size_t keep) {
        if (open.size() <= keep)
            return;
        std::vector<int> chain;
        for (size_t i = open.size(); i-- > keep;) {
            const XmlOpenElements::Entry& o = open[i];
            noteError(at(o.slot).parent, "Element '" + std::string(o.name) + "'" +
                                             offsetText(at(o.slot).start) + " not ended");
        }
        for (size_t i = keep; i < open.size(); ++i)
            chain.push_back(open[i].slot);
        levelsStale = closeNotEnded(chain) || levelsStale;
        open.truncate(keep);
    };

    int pos = 0;
    while (true) {
        XmlNode node = scanXmlNode(text, pos);
        if (node.kind == kXmlEndOfDocument)
            break;
        pos = node.start + std::max(node.length, 1);
        int parent = open.empty() ? 0 : open.back().slot;
        if (node.kind == kXmlError) {
            noteError(parent, node.error);
            continue;
        }
        if (node.kind == kXmlElement) {
            int s = allocateSlot();
            XmlSlot& e = at(s);
            e.start = node.start;
            e.length = node.length;
            e.startTagLength = node.length;
            linkAsLastChild(parent, s);
            if (!node.emptyTag)
                open.push(s, xmlNameAt(text, node.start + 1));
            continue;
        }
        if (node.kind != kXmlEndTag)
            continue;
        std::string_view name = xmlNameAt(text, node.start + 2);
        int match = open.innermost(name);
        if (open.empty()) {
            noteError(
                0, "No start tag for end tag '" + std::string(name) + "'" + offsetText(node.start));
            continue;
        }
        if (match < 0) {
            const XmlOpenElements::Entry& top = open.back();
            noteError(top.slot, "End tag '" + std::string(name) + "'" + offsetText(node.start) +
                                    " does not match start tag '" + std::string(top.name) + "'" +
                                    offsetText(at(top.slot).start));
            continue;
        }
        notEnded(static_cast<size_t>(match) + 1);
        XmlSlot& e = at(open.back().slot);
        e.length = node.start + node.length - e.start;
        e.endTagLength = node.length;
        open.pop();
    }
    notEnded(0);
    if (levelsStale)
        setAllLevels();

    XmlSlot& doc = at(0);
    doc.length = static_cast<int32_t>(text_.size());
    std::string structure;
    if (text_.empty()) {
        structure = "Empty document";
    } else if (doc.firstChild == 0) {
        structure = "No root element";
    } else if (at(doc.firstChild).nextSibling != 0) {
        structure = "Root element has sibling";
    }
    if (result_.empty())
        result_ = structure;
    if (!loadDiagnostic.empty()) {
        result_ = result_.empty() ? loadDiagnostic : loadDiagnostic + " " + result_;
    }
}

bool XmlDoc::isWellFormed() const {
    if (segments_.empty())
        return false;
    const XmlSlot& doc = slot(0);
    if ((doc.flags & kSlotNotWellFormed) != 0 || doc.firstChild == 0)
        return false;
    return slot(doc.firstChild).nextSibling == 0;
}

// ---- navigation -----------------------------------------------------------

void XmlDoc::resetPosition() {
    parent_ = current_ = child_ = 0;
    nodeOffset_ = nodeLength_ = 0;
    nodeKind_ = 0;
}

void XmlDoc::restorePosition(int parent, int current, int child) {
    parent_ = parent;
    current_ = current;
    child_ = child;
    nodeKind_ = current != 0 ? kXmlElement : 0;
    nodeOffset_ = nodeLength_ = 0;
}

std::string_view XmlDoc::tagName(int s) const {
    if (s <= 0 || s >= nextFree_ || (slot(s).flags & kSlotFree) != 0)
        return {};
    return xmlNameAt(text_, slot(s).start + 1);
}

bool XmlDoc::nameIs(int s, const char* name) const {
    if (name == nullptr || *name == '\0')
        return true;
    return xmlNameEquals(tagName(s), name, (docFlags_ & kDocIgnoreCase) != 0);
}

int XmlDoc::findSibling(int from, const char* name) const {
    for (int s = from; s != 0; s = slot(s).nextSibling) {
        if (nameIs(s, name))
            return s;
    }
    return 0;
}

bool XmlDoc::findNext(const char* name) {
    int from = current_ != 0 ? slot(current_).nextSibling : slot(parent_).firstChild;
    int found = findSibling(from, name);
    if (found == 0)
        return false;
    current_ = found;
    child_ = 0;
    nodeKind_ = kXmlElement;
    nodeOffset_ = nodeLength_ = 0;
    return true;
}

bool XmlDoc::findChild(const char* name) {
    if (current_ == 0 && !findNext())
        return false;
    int from = child_ != 0 ? slot(child_).nextSibling : slot(current_).firstChild;
    int found = findSibling(from, name);
    if (found == 0)
        return false;
    child_ = found;
    return true;
}

bool XmlDoc::enter() {
    if (current_ == 0)
        return false;
    parent_ = current_;
    current_ = child_;
    child_ = 0;
    nodeKind_ = current_ != 0 ? kXmlElement : 0;
    return true;
}

bool XmlDoc::leave() {
    if (parent_ == 0)
        return false;
    child_ = current_;
    current_ = parent_;
    parent_ = slot(parent_).parent;
    nodeKind_ = kXmlElement;
    return true;
}

// ---- attributes -----------------------------------------------------------

std::string XmlDoc::getAttribute(int s, const char* name) const {
    if (s <= 0 || s >= nextFree_ || name == nullptr)
        return {};
    const XmlSlot& e = slot(s);
    if ((e.flags & kSlotFree) != 0)
        return {};
    std::string_view tag = std::string_view(text_).substr(static_cast<size_t>(e.start),
                                                          static_cast<size_t>(e.startTagLength));
    XmlAttributeSpan span = findXmlAttribute(tag, e.start, name, (docFlags_ & kDocIgnoreCase) != 0);
    if (!span.found || span.valueLength <= 0)
        return {};
    return resolveEntities(std::string_view(text_).substr(static_cast<size_t>(span.valueStart),
                                                          static_cast<size_t>(span.valueLength)));
}

void XmlDoc::attributes(const char* const* names, size_t count, std::string* values) const {
    for (size_t n = 0; n < count; ++n)
        values[n].clear();
    const int s = current_;
    if (s <= 0 || s >= nextFree_ || count == 0)
        return;
    const XmlSlot& e = slot(s);
    if ((e.flags & kSlotFree) != 0)
        return;
    std::string_view tag = std::string_view(text_).substr(static_cast<size_t>(e.start),
                                                          static_cast<size_t>(e.startTagLength));
    constexpr size_t kMost = 16;
    XmlAttributeSpan spans[kMost];
    for (size_t first = 0; first < count; first += kMost) {
        const size_t batch = std::min(kMost, count - first);
        findXmlAttributes(tag, e.start, names + first, batch, (docFlags_ & kDocIgnoreCase) != 0,
                          spans);
        for (size_t n = 0; n < batch; ++n) {
            if (spans[n].found && spans[n].valueLength > 0)
                values[first + n] = resolveEntities(
                    std::string_view(text_).substr(static_cast<size_t>(spans[n].valueStart),
                                                   static_cast<size_t>(spans[n].valueLength)));
        }
    }
}

void XmlDoc::shift(int offset, int delta, int enclosing, int except) {
    if (delta == 0)
        return;
    for (int s = 1; s < nextFree_; ++s) {
        XmlSlot& e = at(s);
        if (s == except || (e.flags & kSlotFree) != 0)
            continue;
        if (e.start >= offset)
            e.start += delta;
    }
    for (int s = enclosing; s != 0; s = at(s).parent)
        at(s).length += delta;
    at(0).length += delta;
}

bool XmlDoc::setAttribute(const char* name, std::string_view value, int flags) {
    if (current_ == 0 || name == nullptr || *name == '\0')
        return false;
    XmlSlot& e = at(current_);
    std::string_view tag = std::string_view(text_).substr(static_cast<size_t>(e.start),
                                                          static_cast<size_t>(e.startTagLength));
    XmlAttributeSpan span = findXmlAttribute(tag, e.start, name, (docFlags_ & kDocIgnoreCase) != 0);
    std::string quoted = "\"" + escapeMarkup(value, flags | kMarkupEscapeQuotes) + "\"";
    int offset, removed;
    std::string insert;
    if (span.found && span.hasValue) {
        offset = span.spanStart;
        removed = span.spanEnd - span.spanStart;
        insert = std::move(quoted);
    } else if (span.found) {
        offset = span.insertAt;
        removed = 0;
        insert = "=" + quoted;
    } else {
        offset = span.insertAt;
        removed = 0;
        insert = " " + std::string(name) + "=" + quoted;
    }
    text_.replace(static_cast<size_t>(offset), static_cast<size_t>(removed), insert);
    int delta = static_cast<int>(insert.size()) - removed;
    e.startTagLength += delta;
    shift(offset + removed, delta, current_, current_);
    return true;
}

bool XmlDoc::setAttribute(const char* name, long long value, int flags) {
    return setAttribute(name, std::to_string(value), flags);
}

// ---- adding and removing elements -----------------------------------------

std::string XmlDoc::elementText(const char* name, std::string_view content, int flags) const {
    std::string n(name);
    if (content.empty()) {
        if ((flags & kMarkupStartTagOnly) != 0)
            return "<" + n + ">";
        if ((flags & kMarkupSpaceBeforeSlash) != 0)
            return "<" + n + " />";
        return "<" + n + "/>";
    }
    std::string body =
        (flags & kMarkupCdata) != 0 ? cdataSection(content) : escapeMarkup(content, flags);
    return "<" + n + ">" + body + "</" + n + ">";
}

bool XmlDoc::insertElement(int parent, int after, const char* name, std::string_view content,
                           int flags) {
    if (name == nullptr || *name == '\0')
        return false;
    const std::string element = elementText(name, content, flags);
    const int startTag = content.empty() ? static_cast<int>(element.size())
                                         : static_cast<int>(std::strlen(name)) + 2;
    const int endTag = content.empty() ? 0 : static_cast<int>(std::strlen(name)) + 3;
    const std::string lineEnd = (flags & kMarkupNoLineBreak) != 0 ? "" : "\r\n";

    int offset;          // where the splice goes (old coordinates)
    int removed = 0;     // bytes the splice replaces
    std::string insert;  // what goes in
    int elementAt;       // offset of the new '<' inside `insert`
    int enclosing = parent;
    XmlSlot* rewritten = nullptr;
    if (after != 0) {
        const XmlSlot& prev = at(after);
        offset = prev.start + prev.length;
        if (text_.compare(static_cast<size_t>(offset), 2, "\r\n") == 0) {
            offset += 2;
        } else if (text_.compare(static_cast<size_t>(offset), 1, "\n") == 0) {
            offset += 1;
        }
        insert = element + lineEnd;
        elementAt = 0;
    } else if (parent == 0) {
        offset = static_cast<int>(text_.size());
        insert = element + lineEnd;
        elementAt = 0;
    } else {
        XmlSlot& p = at(parent);
        std::string_view parentName = tagName(parent);
        if (p.endTagLength == 0) {
            // <p/> (or a start tag never ended) gains content and an end tag.
            rewritten = &p;
            int tagEnd = p.start + p.startTagLength;
            bool selfClosing =
                p.startTagLength >= 2 && text_[static_cast<size_t>(tagEnd - 2)] == '/';
            std::string closing = "</" + std::string(parentName) + ">";
            if (selfClosing) {
                offset = tagEnd - 2;
                removed = 2;
                insert = ">\r\n" + element + lineEnd + closing;
                elementAt = 3;
            } else {
                offset = tagEnd;
                insert = "\r\n" + element + lineEnd + closing;
                elementAt = 2;
            }
        } else {
            offset = p.start + p.length - p.endTagLength;
            bool noContent = offset == p.start + p.startTagLength;
            insert = (noContent ? "\r\n" : "") + element + lineEnd;
            elementAt = noContent ? 2 : 0;
        }
    }

    int s = allocateSlot();  // may move slots: take references only after this
    if (rewritten != nullptr)
        rewritten = &at(parent);
    text_.replace(static_cast<size_t>(offset), static_cast<size_t>(removed), insert);
    int delta = static_cast<int>(insert.size()) - removed;
    shift(offset + removed, delta, enclosing, s);
    if (rewritten != nullptr) {
        if (removed == 2)
            rewritten->startTagLength -= 1;
        rewritten->endTagLength = static_cast<int32_t>(tagName(parent).size()) + 3;
        rewritten->flags &= ~kSlotNotEnded;
    }
    XmlSlot& e = at(s);
    e.start = offset + elementAt;
    e.length = static_cast<int>(element.size());
    e.startTagLength = startTag;
    e.endTagLength = endTag;
    if ((flags & kMarkupStartTagOnly) != 0 && content.empty())
        e.flags |= kSlotNotEnded;
    if (after != 0) {
        linkAfter(after, s);
    } else {
        linkAsLastChild(parent, s);
    }
    return s != 0;
}

bool XmlDoc::addElement(const char* name, std::string_view content, int flags) {
    int before = nextFree_;
    if (!insertElement(parent_, current_, name, content, flags))
        return false;
    current_ = before;
    child_ = 0;
    nodeKind_ = kXmlElement;
    return true;
}

bool XmlDoc::addChildElement(const char* name, std::string_view content, int flags) {
    if (current_ == 0)
        return false;
    int after = child_ != 0 ? child_ : 0;
    if (after == 0 && slot(current_).firstChild != 0) {
        after = slot(slot(current_).firstChild).previousSibling;  // the last child
    }
    int before = nextFree_;
    if (!insertElement(current_, after, name, content, flags))
        return false;
    child_ = before;
    return true;
}

bool XmlDoc::removeElement() {
    if (current_ == 0)
        return false;
    const int s = current_;
    const XmlSlot& e = at(s);
    const int start = e.start;
    const int end = e.start + e.length;
    int cut = end;
    while (cut < static_cast<int>(text_.size()) && isSpace(text_[static_cast<size_t>(cut)]))
        ++cut;
    if (cut < static_cast<int>(text_.size()) && text_[static_cast<size_t>(cut)] != '<')
        cut = end;
    const int parent = e.parent;
    const int previous = (e.flags & kSlotFirstChild) != 0 ? 0 : e.previousSibling;
    unlink(s);
    release(s);
    text_.erase(static_cast<size_t>(start), static_cast<size_t>(cut - start));
    shift(cut, start - cut, parent, 0);
    current_ = previous;
    child_ = 0;
    nodeKind_ = previous != 0 ? kXmlElement : 0;
    return true;
}

}  // namespace parvola
