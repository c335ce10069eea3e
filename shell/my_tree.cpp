#include "shell/my_tree.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPointer>
#include <QSignalBlocker>
#include <future>
#include <memory>
#include <optional>

#include "app/process_state.h"
#include "catalog/catalog.h"
#include "catalog/folder_tree.h"
#include "platform/worker_threads.h"
#include "presentation/view_texts.h"
#include "shell/catalog_change.h"
#include "shell/dialogs.h"
#include "shell/file_list.h"
#include "shell/icons.h"
#include "shell/main_frame.h"
#include "shell/shell_context.h"
#include "shell/ui_thread.h"

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

// Opens the rename dialog on the user-interface thread and waits for it: the
// new name, or nothing when the dialog was cancelled or could not be shown.
std::optional<std::string> askNewName(const std::string& siblings) {
    auto answer = std::make_shared<std::promise<std::optional<std::string>>>();
    auto result = answer->get_future();
    postToUi(qApp, [siblings, answer] {
        auto* dialog = new RenameDialog(siblings);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        auto answered = std::make_shared<bool>(false);
        QObject::connect(dialog, &QDialog::finished, [dialog, answer, answered](int code) {
            if (*answered)
                return;
            *answered = true;
            answer->set_value(code == QDialog::Accepted
                                  ? std::optional<std::string>(dialog->newName())
                                  : std::nullopt);
        });
        QObject::connect(dialog, &QObject::destroyed, [answer, answered] {
            if (!*answered) {
                *answered = true;
                answer->set_value(std::nullopt);
            }
        });
        dialog->showModal();
    });
    try {
        return result.get();
    } catch (const std::future_error&) {
        return std::nullopt;
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
    addFolderNodes(account, catalog);
    rootNode()->setExpanded(true);
    account->setExpanded(true);
}

void CMyTree::addFolderNodes(QTreeWidgetItem* account, Catalog& catalog) {
    const FolderTree tree = walkFolderTree(catalog.document());
    std::function<void(QTreeWidgetItem*, const std::vector<FolderTreeNode>&)> addFolders =
        [&](QTreeWidgetItem* parent, const std::vector<FolderTreeNode>& folders) {
            for (const auto& folder : folders) {
                auto* node = addNode(parent, folder.name, TreeNodeKind::Folder,
                                     static_cast<int>(iconOf(folder.image)));
                addFolders(node, folder.children);
            }
        };
    addFolders(account, tree.folders);
    addNode(account, tree.recycleName.empty() ? std::string(kRecycleLabel) : tree.recycleName,
            TreeNodeKind::Recycle, static_cast<int>(NodeIcon::Recycle));
}

void CMyTree::refreshAccount(const std::string& account) {
    QTreeWidgetItem* node = findNode(account, "");
    if (!node)
        return;
    const bool selectedHere = currentAccount_ == account;
    const std::string path = currentPath_;
    const QSignalBlocker quiet(this);
    qDeleteAll(node->takeChildren());
    Catalog catalog(account);
    addFolderNodes(node, catalog);
    node->setExpanded(true);
    if (selectedHere) {
        QTreeWidgetItem* again = findNode(account, path);
        setCurrentItem(again ? again : node);
    }
}

TreeNodeKind CMyTree::kindOf(const QTreeWidgetItem* item) const {
    return static_cast<TreeNodeKind>(item->data(0, kKindRole).toInt());
}

bool CMyTree::holds(const QTreeWidgetItem* item) const {
    for (QTreeWidgetItemIterator it(const_cast<CMyTree*>(this)); *it; ++it)
        if (*it == item)
            return true;
    return false;
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
    std::vector<CatalogRow> rows;
    if (!currentAccount_.empty()) {
        Catalog catalog(currentAccount_);
        if (currentPath_ != kRecycleLabel)
            catalog.listFolder(currentPath_, rows);
        else
            catalog.listRecycleBin(rows);
    }
    if (auto* list = panes().fileList)
        list->setRows(std::move(rows));
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
}

void CMyTree::deleteFolder() {
    QTreeWidgetItem* node = currentItem();
    if (!node || kindOf(node) != TreeNodeKind::Folder)
        return;
    Catalog catalog(currentAccount_);
    catalog.reload(currentAccount_);
    if (reportCatalogChange(catalog.deleteFolder(currentPath_)) != 0)
        return;
    delete node;
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
    QPointer<CMyTree> self(this);
    // The dialog and the catalog change run on a worker of their own; the
    // label changes back on the user-interface thread.
    startWorker([self, node, oldName, siblings, account, path] {
        const auto newName = askNewName(siblings);
        if (!newName || newName->empty() || oldName.empty())
            return;
        Catalog catalog(account);
        if (!catalog.renameFolder(path, oldName, *newName))
            return;
        postToUi(qApp, [self, node, name = *newName] {
            if (self && self->holds(node))
                node->setText(0, QString::fromStdString(name));
        });
    });
}

}  // namespace parvola::ui
