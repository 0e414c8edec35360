#pragma once

#include <QRegularExpression>
#include <QTranslator>

/// A made-up language that shows what a real one would break: every marked text comes back in
/// brackets, with accented letters, 40% longer, its placeholders and markup kept. A text shown
/// without brackets was never marked; one cut or run into another will be in a longer language.
class PseudoTranslator final : public QTranslator {
public:
    [[nodiscard]] bool isEmpty() const override { return false; }

    [[nodiscard]] QString translate(const char *context, const char *sourceText,
                                    const char *disambiguation, int n) const override {
        Q_UNUSED(context);
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        const QString source = QString::fromUtf8(sourceText);
        if (source.isEmpty())
            return source;
        // Placeholders, tags and entities pass through untouched.
        static const QRegularExpression kept(QStringLiteral(R"(%L?\d+|%n|<[^>]*>|&\w+;)"));
        QString out = QStringLiteral("[");
        qsizetype from = 0;
        qsizetype letters = 0;
        const auto accent = [&](QStringView text) {
            static const QString plain = QStringLiteral("aceinosuyACEINOSUY");
            static const QString accented = QStringLiteral("àçéîñöšüýÅÇÉÎÑÖŠÜÝ");
            for (const QChar c : text) {
                const qsizetype at = plain.indexOf(c);
                out += at < 0 ? c : accented.at(at);
                letters += c.isLetter();
            }
        };
        for (const QRegularExpressionMatch &match : kept.globalMatch(source)) {
            accent(QStringView(source).sliced(from, match.capturedStart() - from));
            out += match.captured();
            from = match.capturedEnd();
        }
        accent(QStringView(source).sliced(from));
        out += QString(std::max<qsizetype>(1, letters * 2 / 5), QChar(u'~'));
        return out + QChar(u']');
    }
};
