#include "services/OfferedModels.h"

#include <QJsonArray>

namespace {

QString cut(QString text, qsizetype length) {
    if (text.size() > length) {
        text.truncate(length);
        text += QChar(0x2026);
    }
    return text;
}

} // namespace

std::optional<OfferedModels> OfferedModels::fromJson(const QJsonObject &object, QString *problem) {
    const auto refuse = [problem](const QString &why) {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    const QJsonValue list = object.value(QLatin1String("models"));
    if (!list.isArray())
        return refuse(QStringLiteral("\"models\" is not a list"));
    const QJsonValue defaultId = object.value(QLatin1String("default"));
    if (!defaultId.isString())
        return refuse(QStringLiteral("\"default\" is not a string"));

    OfferedModels offered;
    offered.defaultId = defaultId.toString();
    offered.anyModel = object.value(QLatin1String("anyModel")).toBool();
    const QJsonArray entries = list.toArray();
    for (qsizetype i = 0; i < entries.size() && offered.models.size() < maxModels; ++i) {
        const QJsonObject entry = entries.at(i).toObject();
        const QJsonValue id = entry.value(QLatin1String("id"));
        const QJsonValue name = entry.value(QLatin1String("name"));
        if (!id.isString() || !name.isString() || id.toString().isEmpty())
            return refuse(QStringLiteral("entry %1 has no id or name").arg(i));
        if (id.toString().size() > maxIdLength)
            return refuse(
                QStringLiteral("entry %1 has an id over %2 characters").arg(i).arg(maxIdLength));
        if (offered.find(id.toString()))
            continue;
        offered.models.append(
            {id.toString(),
             cut(name.toString().isEmpty() ? id.toString() : name.toString(), maxNameLength),
             cut(entry.value(QLatin1String("description")).toString(), maxDescriptionLength),
             entry.value(QLatin1String("vision")).toBool()});
    }
    if (offered.models.isEmpty())
        return refuse(QStringLiteral("the list is empty"));
    if (!offered.find(offered.defaultId))
        return refuse(QStringLiteral("the default is not one of the models"));
    return offered;
}

QJsonObject OfferedModels::toJson() const {
    QJsonArray list;
    for (const Model &model : models)
        list.append(QJsonObject{{QStringLiteral("id"), model.id},
                                {QStringLiteral("name"), model.name},
                                {QStringLiteral("description"), model.description},
                                {QStringLiteral("vision"), model.vision}});
    return {{QStringLiteral("models"), list},
            {QStringLiteral("default"), defaultId},
            {QStringLiteral("anyModel"), anyModel}};
}

const OfferedModels::Model *OfferedModels::find(const QString &id) const {
    for (const Model &model : models)
        if (model.id == id)
            return &model;
    return nullptr;
}

const OfferedModels::Model &OfferedModels::defaultModel() const {
    const Model *model = find(defaultId);
    Q_ASSERT(model);
    return model ? *model : models.first();
}

const OfferedModels::Model *OfferedModels::firstReadingImages() const {
    for (const Model &model : models)
        if (model.vision)
            return &model;
    return nullptr;
}
