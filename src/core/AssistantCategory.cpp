#include "core/AssistantCategory.h"

#include <QCoreApplication>
#include <QJsonValue>

namespace {

// The built-in text of `field` in the user's language while it is still the built-in text of
// category `id`; a text the user changed is theirs and shows as stored.
QString shown(const QString &id, const QString &text, QString AssistantCategory::*field) {
    for (const AssistantCategory &category : AssistantCategory::builtIn())
        if (category.id == id && category.*field == text)
            return QCoreApplication::translate("AssistantCategory", text.toUtf8().constData());
    return text;
}

} // namespace

// The names and descriptions are stored and read back in English; only the shown copy is
// translated (displayName(), displayDescription()). The prompts go to the model as they are.
const QList<AssistantCategory> &AssistantCategory::builtIn() {
    static const QList<AssistantCategory> categories{
        {QStringLiteral("exams"),
         //: A kind of help, chosen in the settings window's category picker
         QStringLiteral(QT_TRANSLATE_NOOP("AssistantCategory", "Exams & Study")),
         QStringLiteral(QT_TRANSLATE_NOOP("AssistantCategory",
                                          "Exam prep, study help, and academic questions.")),
         QStringLiteral("You are an expert exam and study assistant. Help the user with academic "
                        "questions, study tips, and exam preparation."),
         true},
        {QStringLiteral("coding"),
         //: A kind of help, chosen in the settings window's category picker
         QStringLiteral(QT_TRANSLATE_NOOP("AssistantCategory", "Coding Help")),
         QStringLiteral(QT_TRANSLATE_NOOP("AssistantCategory",
                                          "Programming, debugging, and code explanations.")),
         QStringLiteral("You are a helpful coding assistant. Help the user with programming, "
                        "debugging, and code explanations."),
         true},
        {QStringLiteral("productivity"),
         //: A kind of help, chosen in the settings window's category picker
         QStringLiteral(QT_TRANSLATE_NOOP("AssistantCategory", "Productivity")),
         QStringLiteral(QT_TRANSLATE_NOOP("AssistantCategory",
                                          "Productivity tips, organization, and workflow.")),
         QStringLiteral("You are a productivity coach. Help the user with organization, workflow, "
                        "and productivity tips."),
         true},
        {QStringLiteral("writing"),
         //: A kind of help, chosen in the settings window's category picker
         QStringLiteral(QT_TRANSLATE_NOOP("AssistantCategory", "Writing & Content")),
         QStringLiteral(
             QT_TRANSLATE_NOOP("AssistantCategory", "Writing, editing, and content creation.")),
         QStringLiteral("You are a writing assistant. Help the user with writing, editing, and "
                        "content creation."),
         true},
        {QStringLiteral("general"),
         //: A kind of help, chosen in the settings window's category picker
         QStringLiteral(QT_TRANSLATE_NOOP("AssistantCategory", "General Q&A")),
         QStringLiteral(QT_TRANSLATE_NOOP("AssistantCategory", "General questions and answers.")),
         QStringLiteral("You are a general-purpose AI assistant. Help the user with any question "
                        "they have."),
         true},
    };
    return categories;
}

QString AssistantCategory::displayName() const {
    return shown(id, name, &AssistantCategory::name);
}

QString AssistantCategory::displayDescription() const {
    return shown(id, description, &AssistantCategory::description);
}

QJsonObject AssistantCategory::toJson() const {
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("description"), description},
                       {QStringLiteral("prompt"), prompt},
                       {QStringLiteral("enabled"), enabled}};
}

std::optional<AssistantCategory> AssistantCategory::fromJson(const QJsonObject &object) {
    const auto text = [&](const char *key) { return object.value(QLatin1String(key)); };
    const QJsonValue enabledValue = text("enabled");
    for (const char *key : {"id", "name", "description", "prompt"}) {
        if (!text(key).isString())
            return std::nullopt;
    }
    if (!enabledValue.isBool())
        return std::nullopt;
    return AssistantCategory{text("id").toString(), text("name").toString(),
                             text("description").toString(), text("prompt").toString(),
                             enabledValue.toBool()};
}
