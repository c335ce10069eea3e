#pragma once
// The stack of elements the parser has opened and not yet ended, with a way
// to find the innermost one of a given name that does not scan the stack.
#include <cstddef>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace parvola {

class XmlOpenElements {
  public:
    struct Entry {
        int slot;
        std::string_view name;  // a view into the document text
    };

    explicit XmlOpenElements(bool foldCase);

    bool empty() const { return entries_.empty(); }
    size_t size() const { return entries_.size(); }
    const Entry& operator[](size_t i) const { return entries_[i]; }
    const Entry& back() const { return entries_.back(); }

    void push(int slot, std::string_view name);
    void pop();
    // Keeps the `keep` outermost elements.
    void truncate(size_t keep);

    // Position of the innermost open element named `name` (ASCII case ignored
    // when folding), or -1 when none is open.
    int innermost(std::string_view name);

  private:
    struct NameHash {
        bool fold;
        size_t operator()(std::string_view name) const;
    };
    struct NameEqual {
        bool fold;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    using Positions = std::unordered_map<std::string_view, std::vector<int>, NameHash, NameEqual>;

    void buildIndex();

    bool fold_;
    std::vector<Entry> entries_;
    // Filled the first time an end tag does not end the innermost element:
    // well-formed text never pays for it, and damaged text with many end tags
    // that match nothing (or something far down) is answered without walking
    // the whole stack for each of them.
    bool indexed_ = false;
    Positions positions_;
};

}  // namespace parvola
