#pragma once

// Fakes of the desktop services the controllers use: global shortcuts, the desktop's own
// bindings, and the sound server.

#include "platform/AudioCapture.h"
#include "platform/DesktopShortcuts.h"
#include "platform/GlobalHotkeys.h"

#include <QFile>
#include <QFileInfo>
#include <QPromise>

#include <QCoroTimer>

// Takes what it is given, except the combinations another program "holds".
class FakeHotkeys final : public GlobalHotkeys {
public:
    QList<Action> registerAll(const QList<GlobalHotkeys::Binding> &bindings) override {
        taken.clear();
        QList<Action> refused;
        for (const auto &[action, combination] : bindings)
            if (heldElsewhere.contains(combination.toString()))
                refused.append(action);
            else
                taken.append(combination.toString());
        return refused;
    }
    void unregisterAll() override { taken.clear(); }
    [[nodiscard]] QString unavailableReason() const override { return reason; }

    QStringList taken;
    QStringList heldElsewhere;
    QString reason;
};

// Answers after `delay`, as gsettings or D-Bus would; keeps the custom shortcuts added as GNOME
// does, each in place of the one with its id.
class FakeDesktop final : public DesktopShortcuts {
public:
    QCoro::Task<QList<Binding>> bindings() override {
        const QList<Binding> answer = held;
        if (delay.count() > 0)
            co_await QCoro::sleepFor(delay);
        co_return answer;
    }
    [[nodiscard]] bool canAddCustomShortcuts() const override { return canAdd; }
    QCoro::Task<> addCustomShortcuts(QList<CustomShortcut> shortcuts) override {
        if (!addFailure.isEmpty())
            throw PlatformError(addFailure);
        added += shortcuts;
        for (const CustomShortcut &shortcut : shortcuts) {
            held.removeIf([&](const Binding &binding) { return binding.pindleId == shortcut.id; });
            if (!shortcut.combination.isNull())
                held.append({shortcut.combination, "GNOME", shortcut.name, shortcut.id});
        }
        co_return;
    }
    QList<Binding> held;
    std::chrono::milliseconds delay{0};
    bool canAdd = false;
    QString addFailure;
    QList<CustomShortcut> added;
};

// Writes a few bytes naming the file at start; the file is complete when stopped, saved or not as
// told.
class FakeAudioCapture final : public AudioCapture {
public:
    std::optional<AudioCapture::Failure> failure;
    bool saves = true;

    QCoro::Task<std::unique_ptr<Recording>> startRecording(Settings settings) override {
        if (failure)
            throw Error(*failure, "No sound server is running.");
        QFile file(settings.filePath);
        file.open(QIODevice::WriteOnly);
        file.write("fake aac from " + QFileInfo(settings.filePath).fileName().toUtf8());
        co_return std::make_unique<FakeRecording>(saves);
    }

private:
    class FakeRecording final : public Recording {
    public:
        explicit FakeRecording(bool saves)
            : m_saves(saves) {
            m_closed.start();
        }
        void stop() override {
            m_closed.addResult(m_saves);
            m_closed.finish();
        }
        [[nodiscard]] QFuture<bool> finished() const override { return m_future; }

    private:
        bool m_saves;
        QPromise<bool> m_closed;
        QFuture<bool> m_future = m_closed.future();
    };
};
