#pragma once
// The walk the folder tree view makes over a catalog: the user's live folders,
// recursively in document order, then the recycle bin.
#include <string>
#include <vector>

#include "catalog/xml/xml_doc.h"

namespace parvola {

enum class FolderImage { Documents, Pictures, Media, Common };

struct FolderTreeNode {
    std::string name;
    FolderImage image = FolderImage::Common;
    std::vector<FolderTreeNode> children;
};

struct FolderTree {
    bool found = false;    // the catalog has a User
    std::string userName;  // the label of the account node
    int folderCount = 0;   // Folder children of User, deleted ones included
    std::vector<FolderTreeNode> folders;
    std::string recycleName;  // the last node under the account
};

// The image a folder of this name gets: the three default folders have their own.
FolderImage folderImageOf(const std::string& name);

// Walks the document with its own cursor (which it leaves reset).
FolderTree walkFolderTree(XmlDoc& doc);

}  // namespace parvola
