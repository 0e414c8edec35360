// The conversation's value types: message identity and roles, and the built-in categories.

#include "core/AssistantCategory.h"
#include "core/ChatMessage.h"

#include <QJsonDocument>
#include <QTest>

class ChatMessageTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void equalityIsIdContentAndImage() {
        const QUuid id = QUuid::createUuid();
        const ChatMessage user(id, ChatMessage::Role::User, QStringLiteral("hi"),
                               QDateTime::fromSecsSinceEpoch(1));
        const ChatMessage assistant(id, ChatMessage::Role::Assistant, QStringLiteral("hi"),
                                    QDateTime::fromSecsSinceEpoch(2));
        QVERIFY(user == assistant); // role and time take no part

        ChatMessage withImage = user;
        withImage.imageBase64 = QStringLiteral("AAAA");
        QVERIFY(!(user == withImage)); // absent and present differ
        ChatMessage emptyImage = user;
        emptyImage.imageBase64 = QString();
        QVERIFY(!(user == emptyImage)); // an empty image text is still present
        QVERIFY(!(user == ChatMessage(QUuid::createUuid(), ChatMessage::Role::User,
                                      QStringLiteral("hi"), user.timestamp)));

        ChatMessage grown = user;
        grown.content += QStringLiteral(" there");
        QCOMPARE(grown.id, user.id); // a streamed answer keeps its row
        QVERIFY(!(grown == user));
        QVERIFY(!grown.image); // an image text without a picture is a valid message
    }

    void rolesByName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("role"); // -1: none
        QTest::newRow("user") << "user" << int(ChatMessage::Role::User);
        QTest::newRow("assistant") << "assistant" << int(ChatMessage::Role::Assistant);
        QTest::newRow("system") << "system" << int(ChatMessage::Role::System);
        QTest::newRow("User") << "User" << -1;
        QTest::newRow("SYSTEM") << "SYSTEM" << -1;
        QTest::newRow("padded") << " user" << -1;
        QTest::newRow("empty") << "" << -1;
    }

    void rolesByName() {
        QFETCH(QString, name);
        QFETCH(int, role);
        const std::optional<ChatMessage::Role> parsed = ChatMessage::roleFromName(name);
        QCOMPARE(parsed ? int(*parsed) : -1, role);
        if (parsed)
            QCOMPARE(ChatMessage::roleName(*parsed), name);
    }

    void builtInCategories() {
        const QList<AssistantCategory> &categories = AssistantCategory::builtIn();
        QStringList ids;
        for (const AssistantCategory &category : categories) {
            ids.append(category.id);
            QVERIFY(category.enabled);
            QCOMPARE(AssistantCategory::fromJson(category.toJson()), category);
        }
        QCOMPARE(ids, (QStringList{"exams", "coding", "productivity", "writing", "general"}));
        QCOMPARE(categories.first().name, QStringLiteral("Exams & Study"));
        QCOMPARE(categories.last().description, QStringLiteral("General questions and answers."));
    }

    void categoryDecoding_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("complete")
            << QByteArray(R"({"id":"a","name":"b","description":"c","prompt":"d","enabled":false})")
            << true;
        QTest::newRow("no enabled")
            << QByteArray(R"({"id":"a","name":"b","description":"c","prompt":"d"})") << false;
        QTest::newRow("enabled as number")
            << QByteArray(R"({"id":"a","name":"b","description":"c","prompt":"d","enabled":1})")
            << false;
        QTest::newRow("id as number")
            << QByteArray(R"({"id":1,"name":"b","description":"c","prompt":"d","enabled":true})")
            << false;
    }

    void categoryDecoding() {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        QCOMPARE(AssistantCategory::fromJson(QJsonDocument::fromJson(json).object()).has_value(),
                 decodes);
    }
};

QTEST_GUILESS_MAIN(ChatMessageTest)
#include "tst_chatmessage.moc"
