// The chat path without HTTP: the relay fed provider events by hand, and the chat and
// transcription handlers with a fake store and a fake provider, asserting what the client gets,
// what goes upstream, and what the store is asked to do. Sign-in limits are tested through two
// real servers in tst_serverinstances, the journal of waiting charges in tst_serverfaults.

#include "Credentials.h"
#include "Ledger.h"
#include "WorkerPool.h"
#include "api/ApiContext.h"
#include "api/ChatRelay.h"
#include "api/Handlers.h"
#include "api/ProviderReplies.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace pindle;

namespace {

// A balance and a written record of every call that touches it.
class FakeStore final : public Store {
public:
    std::int64_t balance = 100000;
    QStringList ledger;
    std::map<std::int64_t, std::int64_t> open; // reservation id -> tokens held
    std::int64_t lastId = 0;

    std::optional<User> findSessionUser(const TokenHash &, std::int64_t) override {
        User user;
        user.id = 7;
        user.tokenBalance = balance;
        return user;
    }
    HeldTokens reserve(std::int64_t userId, std::int64_t tokens, const std::string &,
                       const std::string &, std::int64_t) override {
        const std::int64_t held = std::min(tokens, std::max<std::int64_t>(balance, 0));
        balance -= held;
        ledger.append(QString("reserve %1 for %2: %3").arg(tokens).arg(userId).arg(held));
        if (held == 0)
            return {};
        open[++lastId] = held;
        return {lastId, held};
    }
    std::int64_t settle(const Settlement &settlement) override {
        const std::int64_t reserved = open[settlement.reservationId];
        open.erase(settlement.reservationId);
        const std::int64_t charged = std::min(settlement.used, balance + reserved);
        balance += reserved - charged;
        ledger.append(QString("charge %1 to %2 for %3, returning %4")
                          .arg(QString::number(charged), QString::number(settlement.userId),
                               QString::fromStdString(settlement.model),
                               QString::number(reserved)));
        return charged;
    }
    void settleAll(const std::vector<Settlement> &all) override {
        for (const Settlement &settlement : all)
            settle(settlement);
    }
    std::optional<User> findUserByEmail(const std::string &) override { return {}; }
    void renewReservations(const std::vector<Progress> &, std::int64_t) override {}
    Released releaseExpired(std::int64_t) override { return {}; }
    std::vector<AccountBooks> books() override { return {}; }
    std::optional<User> createUser(const NewUser &) override { return {}; }
    std::vector<User> listUsers() override { return {}; }
    bool setTokenBalance(const std::string &, std::int64_t) override { return false; }
    BalanceChange addTokens(const std::string &, std::int64_t) override { return {}; }
    bool setPlan(const std::string &, const std::string &,
                 const std::optional<std::string> &) override {
        return false;
    }
    bool setPasswordHash(std::int64_t, const std::string &, const TokenHash &) override {
        return false;
    }
    std::vector<DailyUsage> usageByDay(std::int64_t, std::int64_t) override { return {}; }
    void createSession(const TokenHash &, std::int64_t, std::int64_t) override {}
    void deleteSession(const TokenHash &) override {}
    std::int64_t deleteExpiredSessions(std::int64_t) override { return 0; }
    std::optional<std::vector<SessionTimes>> listSessions(const std::string &,
                                                          std::int64_t) override {
        return {};
    }
    std::optional<std::int64_t> deleteSessions(const std::string &) override { return {}; }
    Deletion deleteUser(const std::string &) override { return {}; }
};

class FakeResponder final : public Responder {
public:
    int status = 0;
    QByteArray body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool ended = false;
    int streamsBegun = 0;

    void reply(HttpResponse response) override {
        status = response.status;
        body = QByteArray::fromStdString(response.body);
        headers = response.headers;
        ended = true;
    }
    void beginStream(int code, const std::string &contentType) override {
        QCOMPARE(contentType, std::string("text/event-stream"));
        status = code;
        ++streamsBegun;
    }
    void streamChunk(std::string data) override { body += QByteArray::fromStdString(data); }
    void endStream() override { ended = true; }
    void onDisconnect(std::function<void()>) override {}

    [[nodiscard]] QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    [[nodiscard]] QString error() const { return json().value("error").toString(); }
};

class FakeProvider final : public ModelProvider {
public:
    std::vector<ProviderRequest> requests;
    std::vector<ProviderHandlers> handlers;

    std::uint64_t start(ProviderRequest request, ProviderHandlers handed) override {
        requests.push_back(std::move(request));
        handlers.push_back(std::move(handed));
        return requests.size();
    }
    void cancel(std::uint64_t) override {}
};

// A streamed question in a category without an instruction of its own; the prompt is guessed at
// 5 tokens, so 505 are held for it.
const QByteArray question = R"({"model":"gpt-4.1","category":"poetry","stream":true,)"
                            R"("temperature":0.2,"max_tokens":500,"messages":[)"
                            R"({"role":"system","content":"Summary so far."},)"
                            R"({"role":"user","content":"Hi"}]})";

// `systemPromptHeader` is how clients before the "system_prompt" member sent it.
std::shared_ptr<FakeResponder> ask(ApiContext &context, const QByteArray &body,
                                   const QByteArray &systemPromptHeader = {}) {
    HttpRequest request;
    request.authorization = "Bearer any";
    request.systemPrompt = systemPromptHeader.toStdString();
    request.body = body.toStdString();
    auto client = std::make_shared<FakeResponder>();
    chat(context, request, client);
    return client;
}

} // namespace

class ServerChatTest : public QObject {
    Q_OBJECT

private:
    // The chat handler's surroundings; it reserves and gives back on the calling thread, and the
    // ledger, stopped at once, settles there too.
    FakeStore m_store;
    WorkerPool m_workers{1};
    FakeProvider m_provider;
    Ledger m_ledger{m_store, {}};
    std::unique_ptr<ApiContext> m_context;

    // A recording sent for transcription; the provider's answer is left to the test.
    std::shared_ptr<FakeResponder> transcribeAudio() {
        HttpRequest request;
        request.authorization = "Bearer any";
        request.contentType = "multipart/form-data; boundary=b";
        request.body = "--b\r\nContent-Disposition: form-data; name=\"audio\"; "
                       "filename=\"a.m4a\"\r\n\r\nsound\r\n--b--\r\n";
        auto client = std::make_shared<FakeResponder>();
        transcribe(*m_context, request, client);
        return client;
    }

    [[nodiscard]] QJsonObject upstream() const {
        return QJsonDocument::fromJson(QByteArray::fromStdString(m_provider.requests.at(0).body))
            .object();
    }

private Q_SLOTS:
    void initTestCase() {
        initialiseCrypto();
        Config config;
        config.providerUrl = "http://provider/v1";
        config.providerApiKey = "sk-test";
        // The catalogue, closed to other models, with one of them renamed at the provider.
        config.models.acceptsOthers = false;
        for (OfferedModel &model : config.models.models)
            if (model.id == "gpt-4.1")
                model.providerModel = "local-model";
        m_ledger.stop(std::chrono::milliseconds(0));
        m_context = std::make_unique<ApiContext>(config, m_store, m_workers, m_workers, m_provider,
                                                 m_ledger);
    }

    void init() {
        m_store.balance = 100000;
        m_store.ledger.clear();
        m_store.open.clear();
        m_provider.requests.clear();
        m_provider.handlers.clear();
    }

    void relay_data() {
        QTest::addColumn<bool>("stream");
        QTest::addColumn<bool>("late"); // the provider's head came after the grace
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QString>("error"); // how the transfer ended
        QTest::addColumn<int>("answered");  // the status the client got, 0 for none
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("charged"); // of the 1000 reserved; the prompt is guessed at 5
        const auto row = [](const char *name, bool stream, int status, const QByteArrayList &pieces,
                            const char *error, int answered, const QByteArray &body, int charged,
                            bool late = false) {
            QTest::newRow(name) << stream << late << status << pieces << QString(error) << answered
                                << body << charged;
        };
        const QByteArray head = ": waiting for the model\n\n";
        const auto cutOff = [](const QByteArray &why) -> QByteArray {
            return "data: {\"choices\":[{\"delta\":{\"content\":\"\\n\\n[The answer was cut off: " +
                   why + "]\"}}]}\n\ndata: [DONE]\n\n";
        };
        const QByteArray usage = R"(data: {"choices":[],"usage":{"total_tokens":42}})";
        row("stream: lines whole, [DONE] once at the end, the usage report charged", true, 200,
            {"data: {\"a\":1}\n", "\ndata: {\"b\"", ":2}\r\n\r\n" + usage, "\n\ndata: [DONE]\n\n"},
            "", 200,
            head + "data: {\"a\":1}\n\ndata: {\"b\":2}\n\n" + usage + "\n\ndata: [DONE]\n\n", 42);
        row("stream: every line ending and data: spacing in one form", true, 200,
            {"data:{\"a\":1}\r", "\n\r\ndata:  {\"b\":2}\r\rdata: [DONE]\r\n"}, "", 200,
            head + "data: {\"a\":1}\n\ndata:  {\"b\":2}\n\ndata: [DONE]\n\n", 7);
        row("stream: comments, event:, id: and retry: stay with the provider", true, 200,
            {": PROCESSING\n\nevent: message\nid: 3\nretry: 100\ndata: {\"a\":1}\n\n",
             "data: [DONE]\n\n"},
            "", 200, head + "data: {\"a\":1}\n\ndata: [DONE]\n\n", 6);
        const QByteArray stopped = cutOff("the model provider stopped responding.");
        row("stream cut off: a note, [DONE], the prompt and a token per event", true, 200,
            {"data: {\"a\":1}\n\ndata: {\"b\":2}\n\n"}, "Connection reset", 200,
            head + "data: {\"a\":1}\n\ndata: {\"b\":2}\n\n" + stopped, 7);
        row("stream closed cleanly mid-line, the provider never said it was done: cut off", true,
            200, {"data: {\"a\":1}"}, "", 200, head + "data: {\"a\":1}\n\n" + stopped, 6);
        const QByteArray finished = R"(data: {"choices":[{"delta":{},"finish_reason":"stop"}]})";
        row("stream ended by a finish_reason without [DONE]: whole", true, 200, {finished + "\n\n"},
            "", 200, head + finished + "\n\ndata: [DONE]\n\n", 6);
        row("stream left by the client: nothing more is written", true, 200,
            {"data: {\"a\":1}\n\n"}, "cancelled", 200, head + "data: {\"a\":1}\n\n", 6);
        row("stream silent past the limit", true, 200, {"data: {\"a\":1}\n"},
            "the model provider sent nothing for 600 seconds", 200,
            head + "data: {\"a\":1}\n\n" +
                cutOff("the model provider sent nothing for 600 seconds."),
            6);
        // A provider's error in the stream ends it there: the rest is not passed on, the
        // provider's words are shown redacted, and what came before is charged.
        const QByteArray before = "data: {\"a\":1}\n\n";
        const QByteArray reported = "the model provider reported an error";
        row("stream error: an error member and finish_reason error, then [DONE]", true, 200,
            {before + R"(data: {"error":{"message":"Upstream overloaded","code":502},)"
                      R"("choices":[{"delta":{"content":""},"finish_reason":"error"}]})"
                      "\n\ndata: {\"b\":2}\n\ndata: [DONE]\n\n"},
            "abandoned by the server", 200,
            head + before + cutOff(reported + ": Upstream overloaded"), 6);
        row("stream error: an error event in plain words", true, 200,
            {before, "event: error\ndata: Model crashed\n\n"}, "abandoned by the server", 200,
            head + before + cutOff(reported + ": Model crashed"), 6);
        // Past the grace the head has gone out: what went wrong is told inside the stream.
        row("late refusal: told in the stream, nothing charged", true, 429,
            {R"({"error":"slow down"})"}, "", 200,
            head + cutOff("the model provider is busy. Try again in a moment."), 0, true);
        row("late head: the stream goes on as usual", true, 200, {"data: {\"a\":1}\n\n"}, "", 200,
            head + "data: {\"a\":1}\n\n" + stopped, 6, true);
        row("unreachable past the grace", true, 0, {}, "Could not connect", 200,
            head + cutOff("the model provider could not be reached: Could not connect"), 0, true);
        const QByteArray completion = R"({"choices":[],"usage":{"total_tokens":12}})";
        row("one shot: passed on as it came", false, 200, {completion.left(9), completion.mid(9)},
            "", 200, completion, 12);
        row("one shot not JSON: the prompt was spent", false, 200, {"<html>"}, "", 502,
            R"({"error":"The model provider's reply was not a JSON object."})", 5);
        row("one shot too large", false, 200, {QByteArray(maxProviderReply + 1, ' ')}, "", 502,
            R"({"error":"The model provider's reply was too large."})", 0);
        row("one shot from a silent provider", false, 200, {},
            "the model provider sent nothing for 600 seconds", 504,
            R"({"error":"The model provider sent nothing for 600 seconds."})", 0);
        row("provider unreachable", false, 0, {}, "Could not connect", 502,
            R"({"error":"The model provider could not be reached: Could not connect"})", 0);
        row("one shot left by the client: the prompt was spent", false, 200, {}, "cancelled", 0, {},
            5);
    }

    void relay() {
        QFETCH(bool, stream);
        QFETCH(bool, late);
        QFETCH(int, status);
        QFETCH(QByteArrayList, pieces);
        QFETCH(QString, error);
        QFETCH(int, answered);
        QFETCH(QByteArray, body);
        QFETCH(int, charged);
        Billing billing(m_ledger);
        m_store.open[1] = 1000;
        auto client = std::make_shared<FakeResponder>();
        auto relay = std::make_shared<ChatRelay>(
            client, stream, billing, Reservation{1, 7, "gpt-4.1", 1000}, 5, ChatRelay::Timing{});
        const ProviderHandlers handlers = ChatRelay::handlers(relay);
        if (late)
            QCOMPARE(handlers.onQuiet(), std::chrono::milliseconds(15000));
        if (status != 0)
            handlers.onStatus({status});
        // Once the provider reported an error, the transfer is told to stop.
        bool going = true;
        for (const QByteArray &piece : pieces)
            going = handlers.onData(std::string_view(piece.constData(), size_t(piece.size())));
        QCOMPARE(going, !error.startsWith("abandoned"));
        handlers.onDone(error.toStdString());
        QCOMPARE(client->status, answered);
        QCOMPARE(client->body, body);
        QCOMPARE(client->ended, answered != 0 && error != "cancelled");
        QCOMPARE(client->streamsBegun, answered == 200 && stream ? 1 : 0);
        QCOMPARE(m_store.ledger,
                 QStringList{QString("charge %1 to 7 for gpt-4.1, returning 1000").arg(charged)});
    }

    // A provider's refusal as the client sees it, for chat and transcription alike.
    void refusals_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("retryAfter"); // from the provider, and passed on
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("answered");
        QTest::addColumn<QString>("shown");
        QTest::newRow("busy, with a pause in seconds")
            << 429 << QByteArray("20") << QByteArray(R"({"error":{"message":"Rate limit"}})") << 429
            << "The model provider is busy. Try again in 20 seconds.";
        QTest::newRow("refused, the key not passed on")
            << 400 << QByteArray()
            << QByteArray(R"({"error":{"message":"Incorrect API key provided: sk-test."}})") << 400
            << "The model provider refused the request: Incorrect API key provided: [redacted].";
        QTest::newRow("credentials refused")
            << 401 << QByteArray() << QByteArray(R"({"error":"no"})") << 502
            << "The model provider refused this server's credentials. Tell the server's operator.";
    }

    void refusals() {
        QFETCH(int, status);
        QFETCH(QByteArray, retryAfter);
        QFETCH(QByteArray, body);
        QFETCH(int, answered);
        QFETCH(QString, shown);
        ProviderHead head{status};
        std::vector<std::pair<std::string, std::string>> headers;
        if (!retryAfter.isEmpty()) {
            head.fields.emplace_back("retry-after", retryAfter.toStdString());
            headers.emplace_back("Retry-After", retryAfter.toStdString());
        }
        for (const bool transcription : {false, true}) {
            auto client = transcription ? transcribeAudio() : ask(*m_context, question);
            const ProviderHandlers &handlers = m_provider.handlers.back();
            handlers.onStatus(head);
            handlers.onData(body.toStdString());
            handlers.onDone({});
            QCOMPARE(client->status, answered);
            QCOMPARE(client->error(), shown);
            QCOMPARE(client->headers, headers);
        }
        // Nothing is charged for a refusal.
        QCOMPARE(m_store.ledger, QStringList({"reserve 505 for 7: 505",
                                              "charge 0 to 7 for gpt-4.1, returning 505"}));
    }

    void retryAfterIsCountedInSeconds() {
        const std::int64_t now = 1445412390; // Wed, 21 Oct 2015 07:26:30 GMT
        QCOMPARE(retryAfterSeconds(" 120 ", now), 120);
        QCOMPARE(retryAfterSeconds("Wed, 21 Oct 2015 07:28:00 GMT", now), 90);
        QCOMPARE(retryAfterSeconds("Wed Oct 21 07:28:00 2015", now), 90);
        QCOMPARE(retryAfterSeconds("Wed, 21 Oct 2015 07:00:00 GMT", now), 1); // passed: now
        QCOMPARE(retryAfterSeconds("soon", now), std::nullopt);
    }

    void providerMessagesShownWithoutCredentials_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown"); // with the key "hunter2hunter2"
        QTest::newRow("the key, wherever it is") << "key hunter2hunter2 (hunter2hunter2hunter2)"
                                                 << "key [redacted] ([redacted]hunter2)";
        QTest::newRow("sk- tokens and what follows Bearer")
            << "Incorrect API key: sk-proj-abc_1. Sent: Authorization: Bearer abc.def."
            << "Incorrect API key: [redacted]. Sent: Authorization: Bearer [redacted].";
        QTest::newRow("a long random token, but not a model's name")
            << "token 9fQz2LmX81vBqT4wNc7RkP3d for gpt-4o-mini-2024-07-18 internationalisation"
            << "token [redacted] for gpt-4o-mini-2024-07-18 internationalisation";
        QTest::newRow("a long message, cut")
            << QString("é ").repeated(200) << QString("é ").repeated(150) + "…";
    }

    void providerMessagesShownWithoutCredentials() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(QString::fromStdString(
                     redactedProviderMessage(message.toStdString(), "hunter2hunter2")),
                 shown);
    }

    void upstreamMessages_data() {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QByteArray>("prompt"); // "system_prompt"
        QTest::addColumn<QByteArray>("header"); // X-Pindle-System-Prompt, from older clients
        QTest::addColumn<QStringList>("sent");  // role: content, in order
        const QString exams =
            "system: " + QString::fromStdString(Config::defaultCategoryInstructions().at("exams"));
        const QStringList client{"system: Summary so far.", "user: Hi"};
        QTest::newRow("instruction, prompt, then the client's own")
            << "exams" << QByteArray("Be brief, s\u00edl vous pla\u00eet.") << QByteArray()
            << QStringList{exams, "system: Be brief, síl vous plaît."} + client;
        QTest::newRow("an older client's header")
            << "exams" << QByteArray()
            << QByteArray("Be%20brief%2C%20s%C3%ADl%20vous%20pla%C3%AEt.")
            << QStringList{exams, "system: Be brief, síl vous plaît."} + client;
        QTest::newRow("the member wins over the header")
            << "poetry" << QByteArray("Rhyme.") << QByteArray("Prose.")
            << QStringList{"system: Rhyme."} + client;
        QTest::newRow("instruction only")
            << "exams" << QByteArray() << QByteArray() << QStringList{exams} + client;
        QTest::newRow("neither") << "poetry" << QByteArray() << QByteArray() << client;
    }

    void upstreamMessages() {
        QFETCH(QString, category);
        QFETCH(QByteArray, prompt);
        QFETCH(QByteArray, header);
        QFETCH(QStringList, sent);
        QByteArray asked = QByteArray(question).replace("poetry", category.toUtf8());
        if (!prompt.isEmpty())
            asked.replace("\"stream\"",
                          QByteArray("\"system_prompt\":\"" + prompt + "\",\"stream\""));
        const auto client = ask(*m_context, asked, header);
        QCOMPARE(client->status, 0); // the answer comes when the provider's does
        QCOMPARE(m_provider.requests.size(), size_t(1));
        QCOMPARE(m_provider.requests[0].url, std::string("http://provider/v1/chat/completions"));
        QCOMPARE(m_provider.requests[0].headers,
                 std::vector<std::string>{"Authorization: Bearer sk-test"});
        const QJsonObject body = upstream();
        QCOMPARE(body["model"].toString(), "local-model");
        QVERIFY(body["stream_options"]["include_usage"].toBool());
        QCOMPARE(body["max_tokens"].toInt(), 500);
        QStringList messages;
        qsizetype characters = 0;
        for (const QJsonValue message : body["messages"].toArray()) {
            const QString content = message["content"].toString();
            messages.append(message["role"].toString() + ": " + content);
            characters += content.toUtf8().size();
        }
        QCOMPARE(messages, sent);
        // What is held covers every character sent (a token per four) and the whole answer.
        QCOMPARE(m_store.ledger,
                 QStringList{QString("reserve %1 for 7: %1").arg(characters / 4 + 1 + 500)});
    }

    void smallBalanceShortensTheAnswer() {
        m_store.balance = 100;
        ask(*m_context, question);
        QCOMPARE(m_store.ledger, QStringList{"reserve 505 for 7: 100"});
        QCOMPARE(upstream()["max_tokens"].toInt(), 95); // what is left after the prompt's 5
    }

    void refusedBeforeAnythingIsSent_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<qint64>("balance");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("ledger");
        const auto badRequest = [](const char *name, const char *from, const QByteArray &to,
                                   const char *error) {
            QTest::newRow(name) << QByteArray(question).replace(from, to) << QByteArray()
                                << qint64(100000) << 400 << error << QStringList{};
        };
        badRequest("no messages", "\"messages\"", "\"messagez\"",
                   "\"messages\" must be a list of 1 to 1000 messages");
        badRequest("temperature not a number", "0.2", "\"hot\"",
                   "\"temperature\" must be a number from 0 to 2");
        badRequest("nested too deeply", "\"Hi\"",
                   "\"Hi\",\"x\":" + QByteArray(40, '[') + QByteArray(40, ']'),
                   "The request body must be a JSON object.");
        // A picture must come inline: the provider is never sent to fetch an address.
        badRequest("picture by address", "\"Hi\"",
                   "[{\"type\":\"image_url\",\"image_url\":{\"url\":\"http://10.0.0.1/x.png\"}}]",
                   "an image must be a data:image/...;base64, URL");
        badRequest("a model not offered", "gpt-4.1", "gpt-9",
                   "The model \"gpt-9\" is not offered by this server.");
        QTest::newRow("a picture for a model that cannot read it")
            << QByteArray(question)
                   .replace("gpt-4.1", "gpt-3.5-turbo")
                   .replace(
                       "\"Hi\"",
                       R"([{"type":"image_url","image_url":{"url":"data:image/png;base64,AA"}}])")
            << QByteArray() << qint64(100000) << 400
            << "GPT-3.5 Turbo cannot read pictures. Choose a model that can in Settings."
            << QStringList{};
        badRequest(
            "a prompt of more than 16 KiB", "\"stream\"",
            QByteArray("\"system_prompt\":\"" + QByteArray(16 * 1024 + 1, 'x') + "\",\"stream\""),
            "The system prompt is longer than 16 KiB.");
        QTest::newRow("broken prompt")
            << question << QByteArray("%E9t%E9") << qint64(100000) << 400
            << "The system prompt is not valid percent-encoded UTF-8." << QStringList{};
        QTest::newRow("balance used up")
            << question << QByteArray() << qint64(0) << 403
            << "Your token balance (0 tokens left) cannot pay for this question. Ask the operator "
               "of this server for more tokens."
            << QStringList{"reserve 505 for 7: 0"};
        QTest::newRow("balance too small for the prompt: given back at once")
            << question << QByteArray() << qint64(2) << 403
            << "Your token balance (2 tokens left) cannot pay for this question. Ask the operator "
               "of this server for more tokens."
            << QStringList{"reserve 505 for 7: 2", "charge 0 to 7 for gpt-4.1, returning 2"};
    }

    void refusedBeforeAnythingIsSent() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, header);
        QFETCH(qint64, balance);
        QFETCH(int, status);
        QFETCH(QString, error);
        QFETCH(QStringList, ledger);
        m_store.balance = balance;
        const auto client = ask(*m_context, body, header);
        QCOMPARE(client->status, status);
        QCOMPARE(client->error(), error);
        QCOMPARE(m_store.ledger, ledger);
        QVERIFY(m_provider.requests.empty());
    }

    void withoutProviderChatIsUnavailable() {
        ApiContext bare{{}, m_store, m_workers, m_workers, m_provider, m_ledger};
        const auto client = ask(bare, question);
        QCOMPARE(client->status, 503);
        QVERIFY(client->error().contains("\"provider_url\""));
        QVERIFY(m_store.ledger.isEmpty() && m_provider.requests.empty());
    }
};

QTEST_GUILESS_MAIN(ServerChatTest)
#include "tst_serverchat.moc"
