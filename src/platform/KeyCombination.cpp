#include "platform/KeyCombination.h"

#include <QList>
#include <QStringList>

#include <array>

namespace {

// A key a shortcut can use: Qt's name for it, how it is shown, the X keysym and its names in
// GTK accelerators, and its X key code on a US keyboard (evdev code + 8).
struct KeyInfo {
    Qt::Key key;
    QString name;
    QStringList keysymNames;
    quint32 keysym;
    quint8 usKeycode;
};

const QList<KeyInfo> &keyTable() {
    static const QList<KeyInfo> table = [] {
        QList<KeyInfo> keys;
        // Letters and digits by their evdev codes, in alphabetical and numeric order.
        constexpr std::array<quint8, 26> letterCodes{30, 48, 46, 32, 18, 33, 34, 35, 23,
                                                     36, 37, 38, 50, 49, 24, 25, 16, 19,
                                                     31, 20, 22, 47, 17, 45, 21, 44};
        for (int i = 0; i < 26; ++i)
            keys.append({Qt::Key(Qt::Key_A + i),
                         QString(QChar(u'A' + i)),
                         {QString(QChar(u'a' + i))},
                         quint32('a' + i),
                         quint8(letterCodes[i] + 8)});
        for (int i = 0; i < 10; ++i)
            keys.append({Qt::Key(Qt::Key_0 + i),
                         QString::number(i),
                         {QString::number(i)},
                         quint32('0' + i),
                         quint8((i == 0 ? 11 : i + 1) + 8)});
        for (int i = 0; i < 12; ++i)
            keys.append({Qt::Key(Qt::Key_F1 + i),
                         QStringLiteral("F%1").arg(i + 1),
                         {QStringLiteral("F%1").arg(i + 1)},
                         quint32(0xffbe + i),
                         quint8((i < 10 ? 59 + i : 87 + i - 10) + 8)});
        const auto add = [&keys](Qt::Key key, const char16_t *name, QStringList keysymNames,
                                 quint32 keysym, quint8 evdev) {
            keys.append(
                {key, QString::fromUtf16(name), std::move(keysymNames), keysym, quint8(evdev + 8)});
        };
        add(Qt::Key_Space, u"Space", {QStringLiteral("space")}, 0x20, 57);
        add(Qt::Key_Return, u"Return", {QStringLiteral("Return")}, 0xff0d, 28);
        add(Qt::Key_Tab, u"Tab", {QStringLiteral("Tab")}, 0xff09, 15);
        add(Qt::Key_Backspace, u"Backspace", {QStringLiteral("BackSpace")}, 0xff08, 14);
        add(Qt::Key_Insert, u"Insert", {QStringLiteral("Insert")}, 0xff63, 110);
        add(Qt::Key_Delete, u"Delete", {QStringLiteral("Delete")}, 0xffff, 111);
        add(Qt::Key_Home, u"Home", {QStringLiteral("Home")}, 0xff50, 102);
        add(Qt::Key_End, u"End", {QStringLiteral("End")}, 0xff57, 107);
        add(Qt::Key_PageUp, u"PgUp", {QStringLiteral("Page_Up"), QStringLiteral("Prior")}, 0xff55,
            104);
        add(Qt::Key_PageDown, u"PgDown", {QStringLiteral("Page_Down"), QStringLiteral("Next")},
            0xff56, 109);
        add(Qt::Key_Left, u"Left", {QStringLiteral("Left")}, 0xff51, 105);
        add(Qt::Key_Up, u"Up", {QStringLiteral("Up")}, 0xff52, 103);
        add(Qt::Key_Right, u"Right", {QStringLiteral("Right")}, 0xff53, 106);
        add(Qt::Key_Down, u"Down", {QStringLiteral("Down")}, 0xff54, 108);
        add(Qt::Key_Print, u"Print", {QStringLiteral("Print")}, 0xff61, 99);
        add(Qt::Key_Pause, u"Pause", {QStringLiteral("Pause")}, 0xff13, 119);
        // Mutter names the key above Tab by its place.
        add(Qt::Key_QuoteLeft, u"`", {QStringLiteral("grave"), QStringLiteral("Above_Tab")}, 0x60,
            41);
        add(Qt::Key_Minus, u"-", {QStringLiteral("minus")}, 0x2d, 12);
        add(Qt::Key_Equal, u"=", {QStringLiteral("equal")}, 0x3d, 13);
        add(Qt::Key_BracketLeft, u"[", {QStringLiteral("bracketleft")}, 0x5b, 26);
        add(Qt::Key_BracketRight, u"]", {QStringLiteral("bracketright")}, 0x5d, 27);
        add(Qt::Key_Backslash, u"\\", {QStringLiteral("backslash")}, 0x5c, 43);
        add(Qt::Key_Semicolon, u";", {QStringLiteral("semicolon")}, 0x3b, 39);
        add(Qt::Key_Apostrophe, u"'", {QStringLiteral("apostrophe"), QStringLiteral("quoteright")},
            0x27, 40);
        add(Qt::Key_Comma, u",", {QStringLiteral("comma")}, 0x2c, 51);
        add(Qt::Key_Period, u".", {QStringLiteral("period")}, 0x2e, 52);
        add(Qt::Key_Slash, u"/", {QStringLiteral("slash")}, 0x2f, 53);
        return keys;
    }();
    return table;
}

const KeyInfo *findKey(Qt::Key key) {
    for (const KeyInfo &info : keyTable())
        if (info.key == key)
            return &info;
    return nullptr;
}

// A symbol typed with Shift on a US keyboard, as the key it is typed on.
std::optional<Qt::Key> unshifted(int key) {
    static constexpr std::array<std::pair<char16_t, char16_t>, 21> pairs{{
        {u'~', u'`'}, {u'!', u'1'}, {u'@', u'2'}, {u'#', u'3'},  {u'$', u'4'}, {u'%', u'5'},
        {u'^', u'6'}, {u'&', u'7'}, {u'*', u'8'}, {u'(', u'9'},  {u')', u'0'}, {u'_', u'-'},
        {u'+', u'='}, {u'{', u'['}, {u'}', u']'}, {u'|', u'\\'}, {u':', u';'}, {u'"', u'\''},
        {u'<', u','}, {u'>', u'.'}, {u'?', u'/'},
    }};
    if (key == Qt::Key_Backtab)
        return Qt::Key_Tab;
    for (const auto &[shifted, base] : pairs)
        if (key == shifted)
            return Qt::Key(base);
    return std::nullopt;
}

std::optional<quint8> modifierNamed(QStringView name) {
    static const std::array<std::pair<QStringView, quint8>, 12> names{{
        {u"ctrl", KeyCombination::Ctrl},
        {u"control", KeyCombination::Ctrl},
        {u"primary", KeyCombination::Ctrl},
        {u"ctl", KeyCombination::Ctrl},
        {u"alt", KeyCombination::Alt},
        {u"mod1", KeyCombination::Alt},
        {u"shift", KeyCombination::Shift},
        {u"shft", KeyCombination::Shift},
        {u"super", KeyCombination::Super},
        {u"mod4", KeyCombination::Super},
        {u"meta", KeyCombination::Super},
        {u"win", KeyCombination::Super},
    }};
    for (const auto &[known, modifier] : names)
        if (name.compare(known, Qt::CaseInsensitive) == 0)
            return modifier;
    return std::nullopt;
}

quint8 fromQtModifiers(Qt::KeyboardModifiers modifiers) {
    quint8 result = 0;
    if (modifiers & Qt::ControlModifier)
        result |= KeyCombination::Ctrl;
    if (modifiers & Qt::AltModifier)
        result |= KeyCombination::Alt;
    if (modifiers & Qt::ShiftModifier)
        result |= KeyCombination::Shift;
    if (modifiers & Qt::MetaModifier)
        result |= KeyCombination::Super;
    return result;
}

// Modifiers in the order Ctrl, Alt, Shift, Super, each as `names` spells it, then the key.
QString spelled(quint8 modifiers, const std::array<QStringView, 4> &names, const QString &key) {
    const quint8 order[] = {KeyCombination::Ctrl, KeyCombination::Alt, KeyCombination::Shift,
                            KeyCombination::Super};
    QString text;
    for (size_t i = 0; i < names.size(); ++i)
        if (modifiers & order[i])
            text += names[i];
    return text + key;
}

} // namespace

KeyCombination::KeyCombination(quint8 modifiers, Qt::Key key)
    : m_modifiers(modifiers)
    , m_key(findKey(key) ? key : Qt::Key(0)) {}

std::optional<KeyCombination> KeyCombination::parse(QStringView text) {
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    // The key is what follows the last separator, so "Ctrl+-" and "Alt+," read as they look.
    const qsizetype split = text.lastIndexOf(u'+', text.size() - 2);
    const QStringView keyName = split < 0 ? text : text.mid(split + 1);
    quint8 modifiers = 0;
    if (split > 0) {
        for (const QStringView part : text.left(split).split(u'+')) {
            const std::optional<quint8> modifier = modifierNamed(part.trimmed());
            if (!modifier)
                return std::nullopt;
            modifiers |= *modifier;
        }
    }
    for (const KeyInfo &info : keyTable())
        if (keyName.compare(info.name, Qt::CaseInsensitive) == 0)
            return KeyCombination(modifiers, info.key);
    if (keyName.compare(u"Enter", Qt::CaseInsensitive) == 0)
        return KeyCombination(modifiers, Qt::Key_Return);
    return std::nullopt;
}

std::optional<KeyCombination> KeyCombination::fromAccelerator(QStringView accelerator) {
    quint8 modifiers = 0;
    QStringView rest = accelerator.trimmed();
    while (rest.startsWith(u'<')) {
        const qsizetype end = rest.indexOf(u'>');
        if (end < 0)
            return std::nullopt;
        const std::optional<quint8> modifier = modifierNamed(rest.mid(1, end - 1));
        if (!modifier)
            return std::nullopt; // Hyper and the like: no shortcut of ours can use them
        modifiers |= *modifier;
        rest = rest.mid(end + 1);
    }
    for (const KeyInfo &info : keyTable())
        for (const QString &name : info.keysymNames)
            if (rest.compare(name, Qt::CaseInsensitive) == 0)
                return KeyCombination(modifiers, info.key);
    return std::nullopt;
}

std::optional<KeyCombination> KeyCombination::fromQtKeyCode(int code) {
    const auto modifiers = Qt::KeyboardModifiers(code & Qt::KeyboardModifierMask);
    if (modifiers & Qt::KeypadModifier)
        return std::nullopt;
    const int key = code & ~int(Qt::KeyboardModifierMask);
    if (findKey(Qt::Key(key)))
        return KeyCombination(fromQtModifiers(modifiers), Qt::Key(key));
    // Qt writes Shift+1 as Shift+!: the symbols of a US keyboard's shifted level.
    if (const std::optional<Qt::Key> base = unshifted(key))
        return KeyCombination(fromQtModifiers(modifiers | Qt::ShiftModifier), *base);
    return std::nullopt;
}

std::optional<KeyCombination> KeyCombination::fromKeyPress(int qtKey,
                                                           Qt::KeyboardModifiers modifiers,
                                                           quint32 nativeScanCode,
                                                           quint32 baseKeysym) {
    if (modifiers & Qt::KeypadModifier)
        return std::nullopt;
    const quint8 held = fromQtModifiers(modifiers);
    // What the key types unshifted names it best: Shift+7 is "Shift+7", whatever it types.
    if (baseKeysym != 0) {
        for (const KeyInfo &info : keyTable())
            if (info.keysym == baseKeysym)
                return KeyCombination(held, info.key);
    } else if (!(modifiers & Qt::ShiftModifier) && findKey(Qt::Key(qtKey))) {
        return KeyCombination(held, Qt::Key(qtKey));
    } else if (const std::optional<Qt::Key> base = unshifted(qtKey);
               base && (modifiers & Qt::ShiftModifier)) {
        return KeyCombination(held, *base);
    }
    // A symbol no shortcut uses ("ö", "&"): the key at its place on a US keyboard, which is
    // where it is grabbed again.
    for (const KeyInfo &info : keyTable())
        if (nativeScanCode != 0 && info.usKeycode == nativeScanCode)
            return KeyCombination(held, info.key);
    if (baseKeysym == 0 && findKey(Qt::Key(qtKey)))
        return KeyCombination(held, Qt::Key(qtKey));
    return std::nullopt;
}

QString KeyCombination::toAccelerator() const {
    const KeyInfo *info = findKey(m_key);
    return info ? spelled(m_modifiers, {u"<Control>", u"<Alt>", u"<Shift>", u"<Super>"},
                          info->keysymNames.first())
                : QString();
}

QString KeyCombination::toPortalTrigger() const {
    const KeyInfo *info = findKey(m_key);
    return info ? spelled(m_modifiers, {u"CTRL+", u"ALT+", u"SHIFT+", u"LOGO+"},
                          info->keysymNames.first())
                : QString();
}

QString KeyCombination::toString() const {
    const KeyInfo *info = findKey(m_key);
    return info ? spelled(m_modifiers, {u"Ctrl+", u"Alt+", u"Shift+", u"Super+"}, info->name)
                : QString();
}

quint32 KeyCombination::keysym() const {
    const KeyInfo *info = findKey(m_key);
    return info ? info->keysym : 0;
}

quint8 KeyCombination::usKeycode() const {
    const KeyInfo *info = findKey(m_key);
    return info ? info->usKeycode : 0;
}
