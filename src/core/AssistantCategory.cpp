#include "core/AssistantCategory.h"

#include <QJsonValue>

const QList<AssistantCategory> &AssistantCategory::builtIn() {
    static const QList<AssistantCategory> categories{
        {QStringLiteral("exams"), QStringLiteral("Exams & Study"),
         QStringLiteral("Exam prep, study help, and academic questions."),
         QStringLiteral("You are an expert exam and study assistant. Help the user with academic "
                        "questions, study tips, and exam preparation."),
         true},
        {QStringLiteral("coding"), QStringLiteral("Coding Help"),
         QStringLiteral("Programming, debugging, and code explanations."),
         QStringLiteral("You are a helpful coding assistant. Help the user with programming, "
                        "debugging, and code explanations."),
         true},
        {QStringLiteral("productivity"), QStringLiteral("Productivity"),
         QStringLiteral("Productivity tips, organization, and workflow."),
         QStringLiteral("You are a productivity coach. Help the user with organization, workflow, "
                        "and productivity tips."),
         true},
        {QStringLiteral("writing"), QStringLiteral("Writing & Content"),
         QStringLiteral("Writing, editing, and content creation."),
         QStringLiteral("You are a writing assistant. Help the user with writing, editing, and "
                        "content creation."),
         true},
        {QStringLiteral("general"), QStringLiteral("General Q&A"),
         QStringLiteral("General questions and answers."),
         QStringLiteral("You are a general-purpose AI assistant. Help the user with any question "
                        "they have."),
         true},
    };
    return categories;
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
