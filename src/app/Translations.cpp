#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <array>
#include <memory>

QString installTranslations(const QLocale &locale) {
    // Pindle's own catalogue, compiled into the program, and Qt's for the texts its controls
    // bring (OK, Cancel, ...), from the system's Qt translations when installed. Replaced when
    // asked again.
    static std::array<std::unique_ptr<QTranslator>, 2> installed;
    for (std::unique_ptr<QTranslator> &translator : installed) {
        if (translator)
            QCoreApplication::removeTranslator(translator.get());
        translator.reset();
    }
    auto own = std::make_unique<QTranslator>();
    if (!own->load(locale, QStringLiteral("pindle"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        return {};
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt.get());
        installed[1] = std::move(qt);
    }
    QCoreApplication::installTranslator(own.get());
    installed[0] = std::move(own);
    return installed[0]->language();
}
