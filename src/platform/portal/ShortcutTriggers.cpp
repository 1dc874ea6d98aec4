#include "platform/portal/ShortcutTriggers.h"

#include <algorithm>
#include <array>
#include <QDBusArgument>
#include <QStringList>
#include <utility>

namespace backreel::portal {

namespace {
// XKB's names of the keys that are no character of their own.
constexpr std::array<std::pair<Qt::Key, const char*>, 26> kNamedKeys{{
    {Qt::Key_Space, "space"},
    {Qt::Key_Backspace, "BackSpace"},
    {Qt::Key_Tab, "Tab"},
    {Qt::Key_Return, "Return"},
    {Qt::Key_Enter, "KP_Enter"},
    {Qt::Key_Pause, "Pause"},
    {Qt::Key_ScrollLock, "Scroll_Lock"},
    {Qt::Key_Escape, "Escape"},
    {Qt::Key_Home, "Home"},
    {Qt::Key_Left, "Left"},
    {Qt::Key_Up, "Up"},
    {Qt::Key_Right, "Right"},
    {Qt::Key_Down, "Down"},
    {Qt::Key_PageUp, "Page_Up"},
    {Qt::Key_PageDown, "Page_Down"},
    {Qt::Key_End, "End"},
    {Qt::Key_Print, "Print"},
    {Qt::Key_Insert, "Insert"},
    {Qt::Key_Menu, "Menu"},
    {Qt::Key_Delete, "Delete"},
    {Qt::Key_SysReq, "Sys_Req"},
    {Qt::Key_MediaPlay, "XF86AudioPlay"},
    {Qt::Key_MediaStop, "XF86AudioStop"},
    {Qt::Key_MediaRecord, "XF86AudioRecord"},
    {Qt::Key_MediaNext, "XF86AudioNext"},
    {Qt::Key_MediaPrevious, "XF86AudioPrev"},
}};

// XKB's names of the printable ASCII characters that are no letter or digit.
constexpr std::array<std::pair<char, const char*>, 32> kPunctuation{{
    {'!', "exclam"},       {'"', "quotedbl"},    {'#', "numbersign"},  {'$', "dollar"},
    {'%', "percent"},      {'&', "ampersand"},   {'\'', "apostrophe"}, {'(', "parenleft"},
    {')', "parenright"},   {'*', "asterisk"},    {'+', "plus"},        {',', "comma"},
    {'-', "minus"},        {'.', "period"},      {'/', "slash"},       {':', "colon"},
    {';', "semicolon"},    {'<', "less"},        {'=', "equal"},       {'>', "greater"},
    {'?', "question"},     {'@', "at"},          {'[', "bracketleft"}, {'\\', "backslash"},
    {']', "bracketright"}, {'^', "asciicircum"}, {'_', "underscore"},  {'`', "grave"},
    {'{', "braceleft"},    {'|', "bar"},         {'}', "braceright"},  {'~', "asciitilde"},
}};

std::optional<QString> keyName(Qt::Key key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return QString(QChar(u'a' + (key - Qt::Key_A)));
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return QString(QChar(u'0' + (key - Qt::Key_0)));
    }
    const auto punctuation = std::ranges::find(
        kPunctuation, static_cast<int>(key), [](const auto& entry) { return static_cast<int>(entry.first); });
    if (punctuation != kPunctuation.end()) {
        return QString::fromLatin1(punctuation->second);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) {
        return QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    }
    const auto named = std::ranges::find(kNamedKeys, key, &std::pair<Qt::Key, const char*>::first);
    if (named != kNamedKeys.end()) {
        return QString::fromLatin1(named->second);
    }
    return std::nullopt;
}
} // namespace

std::optional<QString> shortcutTrigger(const QKeySequence& keys) {
    if (keys.isEmpty()) {
        return std::nullopt;
    }
    const QKeyCombination combination = keys[0];
    const std::optional<QString> key = keyName(combination.key());
    if (!key) {
        return std::nullopt;
    }
    QStringList parts;
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    for (const auto& [modifier, name] :
         {std::pair{Qt::ControlModifier, "CTRL"}, std::pair{Qt::AltModifier, "ALT"},
          std::pair{Qt::ShiftModifier, "SHIFT"}, std::pair{Qt::MetaModifier, "LOGO"}}) {
        if (modifiers.testFlag(modifier)) {
            parts.append(QString::fromLatin1(name));
        }
    }
    parts.append(*key);
    return parts.join(QLatin1Char('+'));
}

std::optional<std::set<QString>> boundShortcutIds(const QVariantMap& results) {
    const QVariant value = results.value(QStringLiteral("shortcuts"));
    if (!value.canConvert<QDBusArgument>()) {
        return std::nullopt;
    }
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentType() != QDBusArgument::ArrayType) {
        return std::nullopt;
    }
    std::set<QString> ids;
    argument.beginArray();
    while (!argument.atEnd()) {
        QString id;
        QVariantMap properties;
        argument.beginStructure();
        argument >> id >> properties;
        argument.endStructure();
        ids.insert(id);
    }
    argument.endArray();
    return ids;
}

} // namespace backreel::portal
