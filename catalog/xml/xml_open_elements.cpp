#include "catalog/xml/xml_open_elements.h"

#include "catalog/xml/xml_scanner.h"

namespace parvola {
namespace {

unsigned char folded(char c, bool fold) {
    auto u = static_cast<unsigned char>(c);
    return (fold && u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + 32) : u;
}

}  // namespace

size_t XmlOpenElements::NameHash::operator()(std::string_view name) const {
    size_t h = 1469598103934665603ull;
    for (char c : name) {
        h ^= folded(c, fold);
        h *= 1099511628211ull;
    }
    return h;
}

bool XmlOpenElements::NameEqual::operator()(std::string_view a, std::string_view b) const {
    return xmlNameEquals(a, b, fold);
}

XmlOpenElements::XmlOpenElements(bool foldCase)
    : fold_(foldCase), positions_(0, NameHash{foldCase}, NameEqual{foldCase}) {}

void XmlOpenElements::push(int slot, std::string_view name) {
    entries_.push_back({slot, name});
    if (indexed_)
        positions_[name].push_back(static_cast<int>(entries_.size()) - 1);
}

void XmlOpenElements::pop() {
    if (indexed_) {
        auto it = positions_.find(entries_.back().name);
        it->second.pop_back();  // the innermost of its name is the last entry
        if (it->second.empty())
            positions_.erase(it);
    }
    entries_.pop_back();
}

void XmlOpenElements::truncate(size_t keep) {
    while (entries_.size() > keep)
        pop();
}

void XmlOpenElements::buildIndex() {
    positions_.clear();
    for (size_t i = 0; i < entries_.size(); ++i)
        positions_[entries_[i].name].push_back(static_cast<int>(i));
    indexed_ = true;
}

int XmlOpenElements::innermost(std::string_view name) {
    if (entries_.empty())
        return -1;
    if (xmlNameEquals(entries_.back().name, name, fold_))
        return static_cast<int>(entries_.size()) - 1;
    if (!indexed_)
        buildIndex();
    auto it = positions_.find(name);
    return it == positions_.end() ? -1 : it->second.back();
}

}  // namespace parvola
