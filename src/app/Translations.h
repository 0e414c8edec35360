#pragma once

#include <QLocale>
#include <QString>

/// Loads the catalogue for the first of `locale`'s interface languages that Pindle ships (the
/// session's LANGUAGE, LC_ALL, LC_MESSAGES or LANG for the system locale) and installs it for the
/// application's life. A text the catalogue lacks stays in English. Returns the language loaded,
/// or an empty string when English is shown.
QString installTranslations(const QLocale &locale = QLocale());
