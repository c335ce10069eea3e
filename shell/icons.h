#pragma once
// The client's icons, drawn at run time (no image files): the tree's node
// kinds, the application icon and the toolbar buttons' images.
#include <QIcon>
#include <QPixmap>

namespace parvola::ui {

enum class NodeIcon { NotLoggedIn, Account, Documents, Pictures, Media, Folder, Recycle };

QPixmap nodeIcon(NodeIcon kind);  // 16 x 16 with transparency
QIcon applicationIcon();
// A 32 x 32 image for a toolbar button, by its position (0 to 7).
QPixmap toolbarImage(int button, bool hover);

}  // namespace parvola::ui
