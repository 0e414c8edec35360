#pragma once

#include "FakeBackend.h"
#include "FakeSecretStore.h"
#include "models/ChatViewModel.h"
#include "platform/Clock.h"
#include "platform/FocusHandoff.h"
#include "platform/ScreenCapture.h"
#include "services/AudioTranscriptionService.h"
#include "services/AuthService.h"
#include "services/ChatGPTService.h"
#include "services/SettingsManager.h"

#include <QFile>
#include <QLocale>
#include <QNetworkAccessManager>

/// Focus that goes nowhere, counting the hand-backs.
struct CountingFocus final : FocusHandoff {
    void returnFocusToPreviousApp() override { ++handoffs; }
    int handoffs = 0;
};

/// A screen that cannot be captured.
struct NoScreen final : ScreenCapture {
    QCoro::Task<Screenshot> captureScreen() override {
        throw PindleError("No display to capture.");
        co_return Screenshot{};
    }
};

/// The account as the application keeps it, against the loopback fake backend (or the `server`
/// given), with a keychain in memory that holds no token yet.
struct ClientRig {
    explicit ClientRig(const QUrl &server = {})
        : config(server.isEmpty() ? backend.url() : server)
        , auth(network, secrets, config) {}

    FakeBackend backend;
    QNetworkAccessManager network;
    FakeSecretStore secrets;
    BackendConfig config;
    AuthService auth;
};

/// A conversation wired as the application wires it: a stored token "tok", settings in
/// `settingsPath` (started afresh, in the "writing" category so that answers get no second,
/// reviewing request) and the given capture and focus seams.
struct ConversationRig : ClientRig {
    ConversationRig(const QString &settingsPath, ScreenCapture &capture, FocusHandoff &focus,
                    const QUrl &server = {})
        : ClientRig(server)
        , settings(freshSettings(settingsPath))
        , chat(network, auth, settings, config)
        , transcriber(network, config, [] { return QLocale::c(); })
        , model(chat, auth, transcriber, settings, capture, focus, clock) {
        secrets.items.insert(FakeSecretStore::token, "tok");
        settings.setSelectedCategory("writing");
    }

    SettingsManager settings;
    ChatGPTService chat;
    AudioTranscriptionService transcriber;
    Clock clock;
    ChatViewModel model;

private:
    static const QString &freshSettings(const QString &path) {
        QFile::remove(path);
        return path;
    }
};
