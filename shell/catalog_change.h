#pragma once

#include "catalog/catalog.h"
#include "platform/notice_box.h"

namespace parvola::ui {

// Hands back a catalog change's result, telling the user when the change
// could not be written (the disk is full) — the windows would otherwise just
// not change, as they do for a name already taken, and the user would never
// learn why. Other refusals stay silent as before.
inline int reportCatalogChange(int result) {
    if (result == kCatalogNotSaved)
        showNotice(kCatalogNotSavedText);
    return result;
}

}  // namespace parvola::ui
