#pragma once
// The folder tree: every logged-in mailbox with its folders and recycle bin.
// A selection makes its account and folder current and fills the file list.
#include <QTreeWidget>
#include <string>

#include "presentation/view_rules.h"

namespace parvola {
class Catalog;
struct FolderTree;
}  // namespace parvola

namespace parvola::ui {

class CatalogWatch;

class CMyTree : public QTreeWidget {
    Q_OBJECT
  public:
    explicit CMyTree(QWidget* parent = nullptr);

    // After a login: relabels the root "帐号" and adds the account's subtree.
    void addAccountNode(Catalog& catalog);
    std::string currentAccount() const { return currentAccount_; }
    std::string currentPath() const { return currentPath_; }
    bool isRecycleSelected() const { return recycle_; }
    // Brings an account's folders, the file list and the space line in line
    // with its catalog as it is now (run after every change of it): folders
    // that came, went or were renamed show so at once, open folders stay
    // open, and the selection stays on its folder or, when that is gone,
    // moves to the nearest level above it.
    void refreshAccount(const std::string& account);
    // Deletes the selected node's child labelled `name`, if there is one.
    void removeChildFolder(const std::string& name);
    // Selects the selected node's child folder labelled `name` (a folder
    // opened from the file list), if there is one.
    void openChildFolder(const std::string& name);

    QTreeWidgetItem* rootNode() const { return topLevelItem(0); }
    // The node of a folder path ("" for the account node) under an account.
    QTreeWidgetItem* findNode(const std::string& account, const std::string& path) const;
    TreeNodeKind kindOf(const QTreeWidgetItem* item) const;

    // Tree commands on the selected node.
    void createFolder();
    void deleteFolder();
    void renameFolder();
    // The status bar's space line for an account.
    void showSpace(const std::string& account);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void selectionChanged();
    // The current account, path and recycle flag from the selected node.
    void resolveSelection();
    void fillList(bool keepSelection);
    void applyRename(const std::string& account, const std::string& path,
                     const std::string& oldName, const std::string& newName);
    void addFolderNodes(QTreeWidgetItem* account, const FolderTree& tree);
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const std::string& label, TreeNodeKind kind,
                             int image);

    std::string currentAccount_;
    std::string currentPath_;
    bool recycle_ = false;
    CatalogWatch* watch_;
};

}  // namespace parvola::ui
