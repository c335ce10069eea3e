#pragma once
// The client's icons, drawn at run time (no image files): the tree's node
// kinds, the application icon and the toolbar buttons' images.
#include <QIcon>
#include <QPixmap>

namespace parvola::ui {

enum class NodeIcon { NotLoggedIn, Account, Documents, Pictures, Media, Folder, Recycle };

QPixmap nodeIcon(NodeIcon kind);  // 16 x 16 with transparency
QIcon applicationIcon();
// A 28 x 28 image for a toolbar button, by its position (0 to 7), or
// kResumeImage for the pause button while the transfers are paused.
inline constexpr int kResumeImage = 8;
QPixmap toolbarImage(int button, bool hover);

}  // namespace parvola::ui
