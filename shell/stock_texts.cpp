#include "shell/stock_texts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

namespace parvola::ui {

bool installStockTexts(QCoreApplication& app) {
    static QTranslator* translator = nullptr;
    if (translator)
        return true;
    auto loaded = std::make_unique<QTranslator>(&app);
    // "qt" loads qtbase's texts and those of the other installed modules.
    if (!loaded->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qt"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    translator = loaded.release();  // owned by `app`
    QCoreApplication::installTranslator(translator);
    return true;
}

}  // namespace parvola::ui
