#pragma once
// Qt's own texts (the buttons and labels of the file and folder dialogs, the
// context menus of edit fields) in the language of the windows, Chinese.
class QCoreApplication;

namespace parvola::ui {

// Loads Qt's Chinese translations into `app` once; false when they are not
// installed (the stock texts then stay English).
bool installStockTexts(QCoreApplication& app);

}  // namespace parvola::ui
