#include "catalog/folder_tree.h"

#include "catalog/catalog.h"

namespace parvola {
namespace {

void walkLevel(XmlDoc& doc, std::vector<FolderTreeNode>& into) {
    while (doc.findNext("Folder")) {
        if (doc.attribute("Del") == "true")
            continue;
        FolderTreeNode node;
        node.name = doc.attribute("Name");
        node.image = folderImageOf(node.name);
        doc.enter();
        walkLevel(doc, node.children);
        doc.leave();
        into.push_back(std::move(node));
    }
}

}  // namespace

FolderImage folderImageOf(const std::string& name) {
    if (name == kDefaultFolders[0])
        return FolderImage::Documents;
    if (name == kDefaultFolders[1])
        return FolderImage::Pictures;
    if (name == kDefaultFolders[2])
        return FolderImage::Media;
    return FolderImage::Common;
}

FolderTree walkFolderTree(XmlDoc& doc) {
    FolderTree tree;
    doc.resetPosition();
    if (!doc.findNext("User"))
        return tree;
    tree.found = true;
    tree.userName = doc.attribute("Name");
    doc.enter();
    while (doc.findNext("Folder"))
        ++tree.folderCount;
    doc.restorePosition(doc.parentPosition(), 0, 0);
    walkLevel(doc, tree.folders);
    doc.resetPosition();
    if (doc.findNext("User") && doc.enter() && doc.findNext("Recycle")) {
        tree.recycleName = doc.attribute("Name");
    }
    doc.resetPosition();
    return tree;
}

}  // namespace parvola
