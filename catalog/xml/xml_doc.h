#pragma once
// A small XML engine: the document is one flat text, its elements are indexed
// by a table of slots, and a cursor (parent, current, child) walks them.
// Attributes and text are never copied out; queries read the text and edits
// splice it, shifting every stored offset so text and slots always agree.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace parvola {

// Document flags.
constexpr int kDocUtf16LE = 0x01;
constexpr int kDocUtf8Mark = 0x04;
constexpr int kDocIgnoreCase = 0x08;
constexpr int kDocRead = 0x10;
constexpr int kDocWrite = 0x20;
constexpr int kDocAppend = 0x40;
constexpr int kDocUtf16BE = 0x80;

// Slot flags (the low 16 bits hold the nesting level).
constexpr int kSlotLevelMask = 0xFFFF;
constexpr int kSlotFree = 0x20000;
constexpr int kSlotFirstChild = 0x80000;
constexpr int kSlotNotEnded = 0x100000;
constexpr int kSlotDamaged = 0x200000;
constexpr int kSlotNotWellFormed = 0x800000;  // on slot 0 only

struct XmlSlot {
    int32_t start = 0;
    int32_t length = 0;
    int32_t startTagLength = 0;
    int32_t endTagLength = 0;
    int32_t flags = 0;
    int32_t parent = 0;
    int32_t firstChild = 0;
    int32_t nextSibling = 0;
    int32_t previousSibling = 0;  // for the first child: the last child
};

class XmlDoc {
  public:
    XmlDoc();
    XmlDoc(const XmlDoc&) = delete;
    XmlDoc& operator=(const XmlDoc&) = delete;

    // Replaces the text and parses it; answers isWellFormed().
    bool setText(const char* text);
    bool setText(std::string_view text);
    // Reads a file through the text-file layer (any encoding to UTF-8), then
    // parses; answers isWellFormed(), false (an empty document) when the
    // file cannot be read. resultText() tells what was done or what failed.
    bool loadFile(const std::string& path);
    // The same from a file's bytes already read.
    bool loadBytes(std::string bytes);
    // Writes the text in the encoding its declaration names (atomically);
    // `written`, when given, receives the bytes that went into the file.
    // False when it could not be written (the file is then as it was).
    bool saveFile(const std::string& path, std::string* written = nullptr);

    // True when the text parsed without error into exactly one top element.
    bool isWellFormed() const;
    const std::string& text() const { return text_; }
    const std::string& resultText() const { return result_; }
    int documentFlags() const { return docFlags_; }
    void setDocumentFlags(int flags) { docFlags_ = flags; }

    // Cursor: `current` walks the elements of one level (the children of
    // `parent`), `child` those of the level below `current`.
    void resetPosition();
    // Moves `current` to the next element at its level named `name` (any
    // name when null); false, the cursor unchanged, when there is none.
    bool findNext(const char* name = nullptr);
    // Moves `child` the same way below `current` (which first moves to the
    // first element of the level when unset); false when there is none.
    bool findChild(const char* name = nullptr);
    // Goes one level down: `current` becomes the parent and `child` the
    // current element. False when no element is current.
    bool enter();
    // Goes one level up; false at the top level.
    bool leave();
    int parentPosition() const { return parent_; }
    int currentPosition() const { return current_; }
    int childPosition() const { return child_; }
    int nodeKind() const { return nodeKind_; }
    // Sets the cursor directly; the slots must be live (or 0).
    void restorePosition(int parent, int current, int child);

    // Attributes; missing reads as empty text.
    std::string getAttribute(int slot, const char* name) const;
    std::string attribute(const char* name) const { return getAttribute(current_, name); }
    std::string childAttribute(const char* name) const { return getAttribute(child_, name); }
    // Several attributes of the current element read in one pass over its
    // tag: values[n] is what attribute(names[n]) answers. A listing of
    // thousands of records reads each tag once instead of once per field.
    void attributes(const char* const* names, size_t count, std::string* values) const;
    // Sets (adds or replaces) an attribute of the current element, escaping
    // the value; false when no element is current or the name is empty.
    bool setAttribute(const char* name, std::string_view value, int flags = 0);
    bool setAttribute(const char* name, long long value, int flags = 0);

    // Element name of a slot (empty for 0 and free slots).
    std::string_view tagName(int slot) const;

    // Inserts an element after the current one (at the end of the level
    // when none is current) and makes it current; false for an empty name.
    bool addElement(const char* name, std::string_view content = {}, int flags = 0);
    // Inserts an element below the current one, after `child` (at the end
    // when unset), and makes it the child; false when no element is current.
    bool addChildElement(const char* name, std::string_view content = {}, int flags = 0);
    // Removes the current element with everything in it; the one before it
    // becomes current. False when no element is current.
    bool removeElement();

    // Read access to the slot table.
    const XmlSlot& slot(int index) const;
    int slotsInUse() const { return nextFree_; }
    int freeListHead() const { return freeHead_; }

  private:
    XmlSlot& at(int index);
    int allocateSlot();
    void ensureCapacity(int wanted);
    void parse();
    void noteError(int enclosing, const std::string& message);
    void linkAsLastChild(int parent, int slot);
    void linkAfter(int previous, int slot);
    void unlink(int slot);
    bool closeNotEnded(const std::vector<int>& chain);
    void setAllLevels();
    int findSibling(int from, const char* name) const;
    bool nameIs(int slot, const char* name) const;
    void splice(int offset, int removeLength, std::string_view insert, int owner);
    void shift(int offset, int delta, int owner, int except);
    void release(int slot);
    std::string elementText(const char* name, std::string_view content, int flags) const;
    bool insertElement(int parent, int after, const char* name, std::string_view content,
                       int flags);

    std::string text_;
    std::string result_;
    int parent_ = 0;
    int current_ = 0;
    int child_ = 0;
    int nextFree_ = 1;
    int freeHead_ = 0;
    int nodeKind_ = 0;
    int nodeOffset_ = 0;
    int nodeLength_ = 0;
    int docFlags_ = 0;
    // Segments of 65536 slots; a slot index's high 16 bits pick the segment.
    std::vector<std::unique_ptr<XmlSlot[]>> segments_;
    int slotCapacity_ = 0;
};

}  // namespace parvola
