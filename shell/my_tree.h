#pragma once
// The folder tree: every logged-in mailbox with its folders and recycle bin.
// A selection makes its account and folder current and fills the file list.
#include <QTreeWidget>
#include <string>

#include "presentation/view_rules.h"

namespace parvola {
class Catalog;
}

namespace parvola::ui {

class CMyTree : public QTreeWidget {
    Q_OBJECT
  public:
    explicit CMyTree(QWidget* parent = nullptr);

    // After a login: relabels the root "帐号" and adds the account's subtree.
    void addAccountNode(Catalog& catalog);
    std::string currentAccount() const { return currentAccount_; }
    std::string currentPath() const { return currentPath_; }
    bool isRecycleSelected() const { return recycle_; }
    // Rebuilds an account's folders from its catalog (after a folder came back
    // from the recycle bin), keeping the selection where it was.
    void refreshAccount(const std::string& account);
    // Deletes the selected node's child labelled `name`, if there is one.
    void removeChildFolder(const std::string& name);

    QTreeWidgetItem* rootNode() const { return topLevelItem(0); }
    // The node of a folder path ("" for the account node) under an account.
    QTreeWidgetItem* findNode(const std::string& account, const std::string& path) const;
    TreeNodeKind kindOf(const QTreeWidgetItem* item) const;
    bool holds(const QTreeWidgetItem* item) const;

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
    void addFolderNodes(QTreeWidgetItem* account, Catalog& catalog);
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const std::string& label, TreeNodeKind kind,
                             int image);

    std::string currentAccount_;
    std::string currentPath_;
    bool recycle_ = false;
};

}  // namespace parvola::ui
