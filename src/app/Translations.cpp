#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <array>
#include <memory>

QString installTranslations(const QLocale &locale) {
    // Pindle's own catalogue, compiled into the program, and Qt's for the texts its controls
    // bring (OK, Cancel, ...), from the system's Qt translations when installed; under both,
    // English, for its plural forms and for the texts a catalogue lacks. Replaced when asked
    // again.
    static std::array<std::unique_ptr<QTranslator>, 3> installed;
    for (std::unique_ptr<QTranslator> &translator : installed) {
        if (translator)
            QCoreApplication::removeTranslator(translator.get());
        translator.reset();
    }
    const auto install = [](std::unique_ptr<QTranslator> &slot, const QLocale &language,
                            const QString &name, const QString &folder) {
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(language, name, QStringLiteral("_"), folder))
            return false;
        QCoreApplication::installTranslator(translator.get());
        slot = std::move(translator);
        return true;
    };
    const QString own = QStringLiteral("pindle");
    const QString compiledIn = QStringLiteral(":/i18n");
    install(installed[0], QLocale(QLocale::English), own, compiledIn);
    // Translators installed later are asked first.
    install(installed[1], locale, QStringLiteral("qtbase"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!install(installed[2], locale, own, compiledIn) ||
        installed[2]->language().startsWith(QLatin1String("en")))
        return {};
    return installed[2]->language();
}
