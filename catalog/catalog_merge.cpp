#include "catalog/catalog_merge.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "catalog/xml/xml_doc.h"
#include "catalog/xml/xml_entities.h"
#include "catalog/xml/xml_scanner.h"

namespace parvola {
namespace {

const char kHeader[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

// One element of a catalog, as its start tag was written (without its closing
// ">" or "/>"), with the attributes the merge decides by, and its children.
struct Node {
    std::string tag;
    std::string open;
    std::string name, del, subject, ct, path, size, version;
    std::vector<Node> children;
    bool fromLocal = true;  // which side the merged element was taken from
};

Node readNode(const XmlDoc& doc, int slot) {
    Node node;
    const XmlSlot& s = doc.slot(slot);
    node.tag = std::string(doc.tagName(slot));
    std::string open =
        doc.text().substr(static_cast<size_t>(s.start), static_cast<size_t>(s.startTagLength));
    if (!open.empty() && open.back() == '>')
        open.pop_back();
    if (!open.empty() && open.back() == '/')
        open.pop_back();
    while (!open.empty() && (open.back() == ' ' || open.back() == '\t' || open.back() == '\r' ||
                             open.back() == '\n'))
        open.pop_back();
    node.open = std::move(open);
    node.name = doc.getAttribute(slot, "Name");
    node.del = doc.getAttribute(slot, "Del");
    node.subject = doc.getAttribute(slot, "Subject");
    node.ct = doc.getAttribute(slot, "CT");
    node.path = doc.getAttribute(slot, "Path");
    node.size = doc.getAttribute(slot, "Size");
    node.version = doc.getAttribute(slot, "Version");
    for (int c = s.firstChild; c != 0; c = doc.slot(c).nextSibling)
        node.children.push_back(readNode(doc, c));
    return node;
}

// The User element of a catalog text, or nothing when the text is no catalog.
std::optional<Node> readCatalog(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    XmlDoc doc;
    if (!doc.setText(text))
        return std::nullopt;
    doc.resetPosition();
    if (!doc.findNext("User") || doc.attribute("Name").empty())
        return std::nullopt;
    return readNode(doc, doc.currentPosition());
}

void write(const Node& node, std::string& out) {
    out += node.open;
    if (node.children.empty()) {
        out += "/>\r\n";
        return;
    }
    out += ">\r\n";
    for (const Node& child : node.children)
        write(child, out);
    out += "</" + node.tag + ">\r\n";
}

std::string written(const Node& node) {
    std::string out;
    write(node, out);
    return out;
}

// Sets (adds or replaces) one attribute of a start tag.
void setAttribute(Node& node, const char* name, const std::string& value) {
    const std::string tag = node.open + ">";
    const XmlAttributeSpan span = findXmlAttribute(tag, 0, name, false);
    const std::string quoted = "\"" + escapeMarkup(value, kMarkupEscapeQuotes) + "\"";
    if (span.found && span.hasValue)
        node.open.replace(static_cast<size_t>(span.spanStart),
                          static_cast<size_t>(span.spanEnd - span.spanStart), quoted);
    else if (span.found)
        node.open.insert(static_cast<size_t>(span.insertAt), "=" + quoted);
    else
        node.open.insert(static_cast<size_t>(span.insertAt),
                         " " + std::string(name) + "=" + quoted);
    if (std::string_view(name) == "Name")
        node.name = value;
    else if (std::string_view(name) == "Del")
        node.del = value;
}

std::string joinPath(const std::string& path, const std::string& name) {
    return path.empty() ? name : path + "\\" + name;
}

// The same item on every side: a stored file by its piece subject (unique
// to one store), a recycle-bin record by the place and name it stands for,
// anything else by its tag and name. Namesakes count apart in order.
// Looked up by key, so a folder of many thousand files merges in one pass.
class Keyed {
  public:
    Keyed(const std::vector<Node>& nodes, bool inRecycle) {
        std::unordered_map<std::string, int> seen;
        for (const Node& node : nodes) {
            std::string key;
            if (inRecycle)
                key = node.tag + "|" + node.path + "|" + node.name;
            else if (node.tag == "File" && !node.subject.empty())
                key = "File|S|" + node.subject;
            else
                key = node.tag + "|N|" + node.name;
            key += "#" + std::to_string(seen[key]++);
            byKey_.emplace(key, &node);
            entries_.emplace_back(std::move(key), &node);
        }
    }
    const std::vector<std::pair<std::string, const Node*>>& entries() const { return entries_; }
    const Node* find(const std::string& key) const {
        const auto it = byKey_.find(key);
        return it == byKey_.end() ? nullptr : it->second;
    }
    void rekey(const std::string& from, const std::string& to) {
        for (auto& entry : entries_)
            if (entry.first == from)
                entry.first = to;
        const Node* node = byKey_[from];
        byKey_.erase(from);
        byKey_[to] = node;
    }

  private:
    std::vector<std::pair<std::string, const Node*>> entries_;
    std::unordered_map<std::string, const Node*> byKey_;
};

// A folder renamed on one side no longer matches the base by name: it is
// recognised by its creation time, when exactly one folder of the base went
// missing on that side and exactly one new folder has that time. Its key
// becomes the base folder's again.
void followRenames(const Keyed& base, Keyed& side) {
    std::vector<std::pair<std::string, const Node*>> gone, added;
    for (const auto& entry : base.entries())
        if (entry.second->tag == "Folder" && side.find(entry.first) == nullptr)
            gone.push_back(entry);
    for (const auto& entry : side.entries())
        if (entry.second->tag == "Folder" && base.find(entry.first) == nullptr)
            added.push_back(entry);
    // Named copies, not a structured binding: a lambda may not capture a
    // binding in every compiler the fuzz build uses.
    for (const auto& goneEntry : gone) {
        const std::string& baseKey = goneEntry.first;
        const Node* baseNode = goneEntry.second;
        if (baseNode->ct.empty())
            continue;
        auto sameTime = [&](const auto& entry) { return entry.second->ct == baseNode->ct; };
        if (std::count_if(gone.begin(), gone.end(), sameTime) != 1 ||
            std::count_if(added.begin(), added.end(), sameTime) != 1)
            continue;
        side.rekey(std::find_if(added.begin(), added.end(), sameTime)->first, baseKey);
    }
}

class Merger {
  public:
    std::vector<std::string> conflicts;

    // The merged element of one item, or nothing when it is gone.
    std::optional<Node> mergeNode(const Node* b, const Node* l, const Node* r, bool inRecycle,
                                  const std::string& parentPath) {
        if (l == nullptr && r == nullptr)
            return std::nullopt;
        if (l == nullptr || r == nullptr) {
            const Node& only = l != nullptr ? *l : *r;
            Node out = only;
            out.fromLocal = l != nullptr;
            if (b == nullptr)
                return out;  // added on one side
            // In the base and gone on the other side: purged there, and a
            // deletion stands. Only what this side added inside survives.
            if (only.tag != "Folder")
                return std::nullopt;
            static const std::vector<Node> none;
            const std::string path = joinPath(parentPath, only.name);
            out.children = mergeLevel(&b->children, l != nullptr ? &l->children : &none,
                                      r != nullptr ? &r->children : &none, inRecycle, path);
            if (out.children.empty())
                return std::nullopt;
            conflicts.push_back(
                "文件夹“" + path +
                "”已在一台电脑上彻底删除,另一台电脑其间存入其中的内容保留在该文件夹中。");
            return out;
        }
        Node out = mergeHead(b, *l, *r, parentPath);
        const std::string path = joinPath(parentPath, out.name);
        static const std::vector<Node> none;
        out.children = mergeLevel(b != nullptr ? &b->children : &none, &l->children, &r->children,
                                  inRecycle || out.tag == "Recycle", path);
        return out;
    }

    std::vector<Node> mergeLevel(const std::vector<Node>* base, const std::vector<Node>* local,
                                 const std::vector<Node>* remote, bool inRecycle,
                                 const std::string& path) {
        const Keyed b(*base, inRecycle);
        Keyed l(*local, inRecycle);
        Keyed r(*remote, inRecycle);
        if (!inRecycle) {
            followRenames(b, l);
            followRenames(b, r);
        }
        std::vector<std::string> order;
        std::unordered_set<std::string> listed;
        for (const Keyed* side : {&l, &r})
            for (const auto& entry : side->entries())
                if (listed.insert(entry.first).second)
                    order.push_back(entry.first);
        std::vector<Node> out;
        for (const std::string& key : order) {
            std::optional<Node> node =
                mergeNode(b.find(key), l.find(key), r.find(key), inRecycle, path);
            if (node)
                out.push_back(std::move(*node));
        }
        if (!inRecycle)
            separateNamesakes(out, path);
        return out;
    }

  private:
    // The start tag of an item both sides still hold: the side that changed
    // it (this computer's when both did), then its name and its deletion
    // decided on their own, so a rename on one side and a deletion on the
    // other both stand.
    Node mergeHead(const Node* b, const Node& l, const Node& r, const std::string& parentPath) {
        const bool takeLocal = b == nullptr || l.open != b->open || l.open == r.open;
        Node out = takeLocal ? l : r;
        out.fromLocal = takeLocal;
        std::string name;
        if (l.name == r.name) {
            name = l.name;
        } else if (b != nullptr && l.name == b->name) {
            name = r.name;
        } else if (b != nullptr && r.name == b->name) {
            name = l.name;
        } else {
            const char* what = l.tag == "File" ? "文件" : "文件夹";
            conflicts.push_back(std::string(what) + "“" +
                                joinPath(parentPath, b != nullptr ? b->name : l.name) +
                                "”在两台电脑上改成了不同的名字,保留另一台电脑的“" + r.name +
                                "”,本机的“" + l.name + "”未保留。");
            name = r.name;
        }
        if (out.name != name)
            setAttribute(out, "Name", name);
        // A deletion on one side stands; a restore on one side stands when
        // the other left the item as it was.
        std::string del;
        if (l.del == r.del)
            del = l.del;
        else if (b != nullptr && l.del == b->del)
            del = r.del;
        else if (b != nullptr && r.del == b->del)
            del = l.del;
        else
            del = "true";
        if (out.del != del)
            setAttribute(out, "Del", del);
        return out;
    }

    // Two different items of one name at one level (a file stored under the
    // same name on both computers, a folder renamed to a name the other
    // computer gave a new folder): both stay, and the later gets a visible
    // number in its name.
    void separateNamesakes(std::vector<Node>& nodes, const std::string& path) {
        std::map<std::string, std::vector<size_t>> byName;
        for (size_t i = 0; i < nodes.size(); ++i)
            if (nodes[i].tag == "File" || nodes[i].tag == "Folder")
                byName[nodes[i].tag + "|" + nodes[i].name].push_back(i);
        for (auto& [key, indexes] : byName) {
            if (indexes.size() < 2)
                continue;
            // The earliest keeps the name; between equal times, the other
            // computer's (mailed first) does.
            std::stable_sort(indexes.begin(), indexes.end(), [&](size_t a, size_t c) {
                if (nodes[a].ct != nodes[c].ct)
                    return nodes[a].ct < nodes[c].ct;
                return !nodes[a].fromLocal && nodes[c].fromLocal;
            });
            for (size_t k = 1; k < indexes.size(); ++k) {
                Node& later = nodes[indexes[k]];
                const std::string old = later.name;
                const std::string fresh = freeName(nodes, later.tag, old);
                setAttribute(later, "Name", fresh);
                const char* what = later.tag == "File" ? "文件" : "文件夹";
                conflicts.push_back(std::string("两台电脑在“") + (path.empty() ? "/" : path) +
                                    "”中各有一个名为“" + old + "”的" + what +
                                    ",两个都已保留,后来的一个改名为“" + fresh + "”。");
            }
        }
    }

    // "name (2).ext", "name (3).ext", ...: the first one the level does not hold.
    static std::string freeName(const std::vector<Node>& nodes, const std::string& tag,
                                const std::string& name) {
        size_t dot = name.rfind('.');
        if (tag != "File" || dot == 0 || dot == std::string::npos)
            dot = name.size();
        for (int n = 2;; ++n) {
            std::string candidate =
                name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
            const bool taken = std::any_of(nodes.begin(), nodes.end(), [&](const Node& node) {
                return node.tag == tag && node.name == candidate;
            });
            if (!taken)
                return candidate;
        }
    }
};

long long toInteger(const std::string& text) {
    return std::atoll(text.c_str());
}

// The files the catalog records outside the recycle bin, deleted ones among
// them (only a purge takes a file out of the counters), and their bytes.
void countFiles(const Node& node, long long& files, long long& bytes) {
    for (const Node& child : node.children) {
        if (child.tag == "File") {
            ++files;
            bytes += toInteger(child.size);
        } else if (child.tag == "Folder") {
            countFiles(child, files, bytes);
        }
    }
}

}  // namespace

CatalogMerge mergeCatalogs(std::string_view base, std::string_view local, std::string_view remote) {
    CatalogMerge result;
    const std::optional<Node> l = readCatalog(local);
    const std::optional<Node> r = readCatalog(remote);
    if (!l || !r || l->name != r->name)
        return result;
    std::optional<Node> b = readCatalog(base);
    if (b && b->name != l->name)
        b.reset();
    Merger merger;
    std::optional<Node> user = merger.mergeNode(b ? &*b : nullptr, &*l, &*r, false, "");
    long long files = 0, bytes = 0;
    countFiles(*user, files, bytes);
    setAttribute(*user, "Version",
                 std::to_string(std::max(toInteger(l->version), toInteger(r->version)) + 1));
    setAttribute(*user, "FN", std::to_string(files));
    setAttribute(*user, "SUM", std::to_string(bytes));
    result.outcome = CatalogMergeOutcome::Merged;
    result.text = kHeader + written(*user);
    result.conflicts = std::move(merger.conflicts);
    return result;
}

}  // namespace parvola
