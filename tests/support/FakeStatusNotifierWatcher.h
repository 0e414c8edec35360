#pragma once

// A StatusNotifierWatcher of a test's own on the session bus, with a host behind it as a desktop
// panel would have: items register with it, and it tells when hosts come and go.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>

#include <functional>

class FakeStatusNotifierWatcher final : public QDBusVirtualObject {
public:
    static constexpr char service[] = "org.kde.StatusNotifierWatcher";
    static constexpr char path[] = "/StatusNotifierWatcher";

    explicit FakeStatusNotifierWatcher(QDBusConnection bus)
        : m_bus(std::move(bus)) {}
    ~FakeStatusNotifierWatcher() override { stop(); }

    QStringList items; // as registered: bus names
    bool hostRegistered = true;
    std::function<void(const QString &)> onRegistered; // after the reply went out

    bool start() {
        return m_bus.registerVirtualObject(QLatin1String(path), this) &&
               m_bus.registerService(QLatin1String(service));
    }

    void stop() {
        m_bus.unregisterService(QLatin1String(service));
        m_bus.unregisterObject(QLatin1String(path));
        items.clear();
    }

    void setHostRegistered(bool registered) {
        hostRegistered = registered;
        m_bus.send(QDBusMessage::createSignal(
            QLatin1String(path), QLatin1String(service),
            registered ? QStringLiteral("StatusNotifierHostRegistered")
                       : QStringLiteral("StatusNotifierHostUnregistered")));
    }

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override {
        const QString method = message.member();
        if (method == u"RegisterStatusNotifierItem") {
            QString item = message.arguments().value(0).toString();
            if (item.startsWith(u'/')) // an object path: the caller's name goes with it
                item = message.service();
            items.append(item);
            m_bus.send(message.createReply());
            if (onRegistered)
                onRegistered(item);
            return true;
        }
        if (method == u"Get") { // the one property items ask about
            m_bus.send(message.createReply(QVariant::fromValue(QDBusVariant(hostRegistered))));
            return true;
        }
        return false;
    }

private:
    QDBusConnection m_bus;
};
