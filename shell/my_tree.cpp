#include "shell/my_tree.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalBlocker>
#include <set>

#include "app/process_state.h"
#include "catalog/catalog.h"
#include "catalog/folder_tree.h"
#include "presentation/view_texts.h"
#include "shell/catalog_change.h"
#include "shell/catalog_watch.h"
#include "shell/dialogs.h"
#include "shell/file_list.h"
#include "shell/icons.h"
#include "shell/main_frame.h"
#include "shell/shell_context.h"

namespace parvola::ui {

namespace {

constexpr int kKindRole = Qt::UserRole + 1;

NodeIcon iconOf(FolderImage image) {
    switch (image) {
        case FolderImage::Documents:
            return NodeIcon::Documents;
        case FolderImage::Pictures:
            return NodeIcon::Pictures;
        case FolderImage::Media:
            return NodeIcon::Media;
        default:
            return NodeIcon::Folder;
    }
}

std::string labelOf(const QTreeWidgetItem* item) {
    return item->text(0).toStdString();
}

std::string joined(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + "\\" + name;
}

// Every folder path under an account, in tree order, the recycle bin last:
// the shape the tree shows, and the one the catalog holds.
void shapeOf(const QTreeWidgetItem* node, const std::string& prefix,
             std::vector<std::string>& paths) {
    for (int i = 0; i < node->childCount(); ++i) {
        const std::string path = joined(prefix, labelOf(node->child(i)));
        paths.push_back(path);
        shapeOf(node->child(i), path, paths);
    }
}

void shapeOf(const std::vector<FolderTreeNode>& folders, const std::string& prefix,
             std::vector<std::string>& paths) {
    for (const auto& folder : folders) {
        const std::string path = joined(prefix, folder.name);
        paths.push_back(path);
        shapeOf(folder.children, path, paths);
    }
}

std::string recycleLabelOf(const FolderTree& tree) {
    return tree.recycleName.empty() ? std::string(kRecycleLabel) : tree.recycleName;
}

void expandedUnder(const QTreeWidgetItem* node, const std::string& prefix,
                   std::set<std::string>& open) {
    for (int i = 0; i < node->childCount(); ++i) {
        const std::string path = joined(prefix, labelOf(node->child(i)));
        if (node->child(i)->isExpanded())
            open.insert(path);
        expandedUnder(node->child(i), path, open);
    }
}

}  // namespace

CMyTree::CMyTree(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    auto* root = new QTreeWidgetItem(this);
    root->setText(0, QString::fromUtf8(kRootBeforeLogin));
    root->setIcon(0, nodeIcon(NodeIcon::NotLoggedIn));
    root->setData(0, kKindRole, static_cast<int>(TreeNodeKind::Root));
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CMyTree::selectionChanged);
    watch_ = new CatalogWatch(this);
    connect(watch_, &CatalogWatch::catalogChanged, this,
            [this](const QString& user) { refreshAccount(user.toStdString()); });
}

QTreeWidgetItem* CMyTree::addNode(QTreeWidgetItem* parent, const std::string& label,
                                  TreeNodeKind kind, int image) {
    auto* item = new QTreeWidgetItem(parent);
    item->setText(0, QString::fromStdString(label));
    item->setIcon(0, nodeIcon(static_cast<NodeIcon>(image)));
    item->setData(0, kKindRole, static_cast<int>(kind));
    return item;
}

void CMyTree::addAccountNode(Catalog& catalog) {
    rootNode()->setText(0, QString::fromUtf8(kRootAfterLogin));
    const FolderTree tree = walkFolderTree(catalog.document());
    auto* account = addNode(rootNode(), tree.userName, TreeNodeKind::Account,
                            static_cast<int>(NodeIcon::Account));
    addFolderNodes(account, tree);
    rootNode()->setExpanded(true);
    account->setExpanded(true);
    watch_->watch(tree.userName);
}

void CMyTree::addFolderNodes(QTreeWidgetItem* account, const FolderTree& tree) {
    std::function<void(QTreeWidgetItem*, const std::vector<FolderTreeNode>&)> addFolders =
        [&](QTreeWidgetItem* parent, const std::vector<FolderTreeNode>& folders) {
            for (const auto& folder : folders) {
                auto* node = addNode(parent, folder.name, TreeNodeKind::Folder,
                                     static_cast<int>(iconOf(folder.image)));
                addFolders(node, folder.children);
            }
        };
    addFolders(account, tree.folders);
    addNode(account, recycleLabelOf(tree), TreeNodeKind::Recycle,
            static_cast<int>(NodeIcon::Recycle));
}

void CMyTree::refreshAccount(const std::string& account) {
    QTreeWidgetItem* node = findNode(account, "");
    if (!node)
        return;
    Catalog catalog(account);
    const FolderTree tree = walkFolderTree(catalog.document());
    std::vector<std::string> shown, held;
    shapeOf(node, "", shown);
    shapeOf(tree.folders, "", held);
    held.push_back(recycleLabelOf(tree));
    bool selectionMoved = false;
    if (tree.found && shown != held) {
        QTreeWidgetItem* selected = currentItem();
        bool selectedHere = false;
        for (QTreeWidgetItem* at = selected; at; at = at->parent())
            selectedHere = selectedHere || at == node;
        std::set<std::string> open;
        expandedUnder(node, "", open);
        std::string path = selectedHere && selected != node ? currentPath_ : std::string();
        const QSignalBlocker quiet(this);
        qDeleteAll(node->takeChildren());
        addFolderNodes(node, tree);
        for (const std::string& folder : open)
            if (QTreeWidgetItem* again = findNode(account, folder))
                again->setExpanded(true);
        node->setExpanded(true);
        if (selectedHere) {
            // The folder, or the nearest level above it that is still there.
            QTreeWidgetItem* again = path.empty() ? node : findNode(account, path);
            while (!again) {
                const size_t cut = path.rfind('\\');
                path = cut == std::string::npos ? std::string() : path.substr(0, cut);
                again = path.empty() ? node : findNode(account, path);
            }
            setCurrentItem(again);
            selectionMoved = true;
        }
    }
    if (selectionMoved)
        resolveSelection();
    if (account != currentAccount_)
        return;
    showSpace(account);
    fillList(true);
}

TreeNodeKind CMyTree::kindOf(const QTreeWidgetItem* item) const {
    return static_cast<TreeNodeKind>(item->data(0, kKindRole).toInt());
}

QTreeWidgetItem* CMyTree::findNode(const std::string& account, const std::string& path) const {
    QTreeWidgetItem* node = nullptr;
    for (int i = 0; i < rootNode()->childCount(); ++i)
        if (labelOf(rootNode()->child(i)) == account)
            node = rootNode()->child(i);
    size_t start = 0;
    while (node && !path.empty() && start <= path.size()) {
        const size_t end = std::min(path.find('\\', start), path.size());
        const std::string name = path.substr(start, end - start);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i)
            if (labelOf(node->child(i)) == name)
                next = node->child(i);
        node = next;
        start = end + 1;
    }
    return node;
}

void CMyTree::selectionChanged() {
    if (!currentItem())
        return;
    resolveSelection();
    fillList(false);
}

void CMyTree::resolveSelection() {
    QTreeWidgetItem* node = currentItem();
    if (!node)
        return;
    std::vector<std::string> labels;
    std::string accountLabel;
    bool reached = false;
    for (QTreeWidgetItem* at = node; at; at = at->parent()) {
        if (kindOf(at) == TreeNodeKind::Account) {
            accountLabel = labelOf(at);
            reached = true;
            break;
        }
        labels.push_back(labelOf(at));
    }
    const TreeSelection selection = resolveTreeSelection(labels, reached ? &accountLabel : nullptr);
    recycle_ = selection.recycle;
    currentPath_ = selection.path;
    if (selection.accountReached) {
        currentAccount_ = selection.account;
        MailboxAccount record;
        if (findLoggedInAccount(accountNameOfLabel(currentAccount_), record) == 0)
            showSpace(currentAccount_);
    }
}

void CMyTree::fillList(bool keepSelection) {
    std::vector<CatalogRow> rows;
    if (!currentAccount_.empty()) {
        Catalog catalog(currentAccount_);
        if (currentPath_ != kRecycleLabel)
            catalog.listLevel(currentPath_, rows);
        else
            catalog.listRecycleBin(rows);
    }
    if (auto* list = panes().fileList) {
        if (keepSelection)
            list->updateRows(std::move(rows));
        else
            list->setRows(std::move(rows));
    }
    if (auto* frame = panes().frame)
        frame->updateCommandStates();
}

void CMyTree::showSpace(const std::string& account) {
    Catalog catalog(account);
    long long files = 0, bytes = 0;
    if (catalog.spaceUsed(files, bytes) != 0)
        return;
    if (auto* frame = panes().frame)
        frame->setSpaceText(QString::fromStdString(spaceLineText(files, bytes)));
}

void CMyTree::removeChildFolder(const std::string& name) {
    QTreeWidgetItem* node = currentItem();
    if (!node)
        return;
    for (int i = 0; i < node->childCount(); ++i) {
        if (labelOf(node->child(i)) == name) {
            delete node->takeChild(i);
            return;
        }
    }
}

void CMyTree::openChildFolder(const std::string& name) {
    QTreeWidgetItem* node = currentItem();
    if (!node)
        return;
    for (int i = 0; i < node->childCount(); ++i) {
        if (labelOf(node->child(i)) == name && kindOf(node->child(i)) == TreeNodeKind::Folder) {
            node->setExpanded(true);
            setCurrentItem(node->child(i));
            return;
        }
    }
}

void CMyTree::contextMenuEvent(QContextMenuEvent* event) {
    QTreeWidgetItem* node = currentItem();
    if (!node)
        return;
    const TreeMenu kind = treeMenuFor(kindOf(node));
    if (kind == TreeMenu::None)
        return;
    QMenu menu(this);
    menu.addAction(QString::fromUtf8(kCreateFolder), this, &CMyTree::createFolder);
    if (kind == TreeMenu::Folder) {
        menu.addAction(QString::fromUtf8(kDeleteFolder), this, &CMyTree::deleteFolder);
        menu.addAction(QString::fromUtf8(kRenameFolder), this, &CMyTree::renameFolder);
    }
    menu.exec(event->globalPos());
}

void CMyTree::createFolder() {
    QTreeWidgetItem* node = currentItem();
    if (!node || currentAccount_.empty())
        return;
    Catalog catalog(currentAccount_);
    catalog.reload(currentAccount_);
    const std::string path = currentPath_;
    const std::string name = nextCustomFolderName([&](const std::string& candidate) {
        return catalog.exists(path, candidate, "Folder") == CatalogPresence::Live;
    });
    // The node appears only when the catalog took the folder, so the tree
    // never shows a folder the store does not have.
    if (reportCatalogChange(catalog.addFolder(path, name)) != 0)
        return;
    addNode(node, name, TreeNodeKind::Folder, static_cast<int>(NodeIcon::Folder));
    node->setExpanded(true);
    refreshAccount(currentAccount_);
}

void CMyTree::deleteFolder() {
    QTreeWidgetItem* node = currentItem();
    if (!node || kindOf(node) != TreeNodeKind::Folder)
        return;
    Catalog catalog(currentAccount_);
    catalog.reload(currentAccount_);
    if (reportCatalogChange(catalog.deleteFolder(currentPath_)) != 0)
        return;
    const std::string account = currentAccount_;
    delete node;
    refreshAccount(account);
}

void CMyTree::renameFolder() {
    QTreeWidgetItem* node = currentItem();
    if (!node || kindOf(node) != TreeNodeKind::Folder || !node->parent())
        return;
    const std::string oldName = labelOf(node);
    std::vector<std::string> labels;
    for (int i = 0; i < node->parent()->childCount(); ++i)
        labels.push_back(labelOf(node->parent()->child(i)));
    const std::string siblings = siblingNamesText(labels);
    const std::string account = currentAccount_;
    const std::string path = currentPath_;
    // The dialog does not block the window; its OK renames on this thread,
    // where the tree and the current path change with the catalog at once,
    // so a command right after the rename already works on the new name.
    auto* dialog = new RenameDialog(siblings, window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, account, path, oldName] {
        applyRename(account, path, oldName, dialog->newName());
    });
    dialog->showModal();
}

void CMyTree::applyRename(const std::string& account, const std::string& path,
                          const std::string& oldName, const std::string& newName) {
    if (newName.empty() || oldName.empty())
        return;
    Catalog catalog(account);
    if (!catalog.renameFolder(path, oldName, newName))
        return;
    const size_t cut = path.rfind('\\');
    const std::string renamed =
        joined(cut == std::string::npos ? std::string() : path.substr(0, cut), newName);
    if (QTreeWidgetItem* node = findNode(account, path))
        node->setText(0, QString::fromStdString(newName));
    // The selection stays on its node; the path it stands for follows.
    if (currentAccount_ == account &&
        (currentPath_ == path || currentPath_.rfind(path + "\\", 0) == 0))
        currentPath_ = renamed + currentPath_.substr(path.size());
    refreshAccount(account);
}

}  // namespace parvola::ui
