#pragma once

#include "FakeBackend.h"
#include "FakeSecretStore.h"
#include "models/ChatViewModel.h"
#include "models/OverlayController.h"
#include "platform/Clock.h"
#include "platform/FocusHandoff.h"
#include "services/AudioTranscriptionService.h"
#include "services/AuthService.h"
#include "services/ChatClient.h"
#include "services/ScreenshotTaker.h"
#include "services/SettingsManager.h"

#include <QFile>
#include <QLocale>
#include <QNetworkAccessManager>

/// Focus that goes nowhere, counting the hand-backs.
struct CountingFocus final : FocusHandoff {
    void returnFocusToPreviousApp() override { ++handoffs; }
    int handoffs = 0;
};

/// An overlay window that is only a flag, counting the requests for the keyboard.
struct FakeOverlayWindow final : OverlayController::Window {
    [[nodiscard]] bool isOnScreen() const override { return shown; }
    void showOnScreen() override { shown = true; }
    void hideFromScreen() override { shown = false; }
    void raiseOnScreen() override {}
    void takeKeyboard(quint32) override {
        shown = true;
        ++keyboardRequests;
    }
    bool shown = false;
    int keyboardRequests = 0;
};

/// A screen that cannot be captured.
struct NoScreen final : ScreenshotTaker {
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

/// A conversation and its overlay wired as the application wires them: a stored token "tok",
/// settings in `settingsPath` (started afresh, in the "writing" category so that answers get no
/// second, reviewing request), the given capture and focus seams, and an overlay window from
/// `makeWindow` (a FakeOverlayWindow unless given).
struct ConversationRig : ClientRig {
    ConversationRig(const QString &settingsPath, ScreenshotTaker &capture, FocusHandoff &focus,
                    const QUrl &server = {}, OverlayController::WindowFactory makeWindow = {})
        : ClientRig(server)
        , settings(freshSettings(settingsPath))
        , chat(network, auth, settings, config)
        , transcriber(network, config, [] { return QLocale::c(); })
        , model(chat, auth, transcriber, settings, capture, clock)
        , overlay(
              model, focus, makeWindow ? std::move(makeWindow) : [](OverlayController &) {
                  return std::make_unique<FakeOverlayWindow>();
              }) {
        secrets.items.insert(FakeSecretStore::token, "tok");
        settings.setSelectedCategory("writing");
    }

    SettingsManager settings;
    ChatClient chat;
    AudioTranscriptionService transcriber;
    Clock clock;
    ChatViewModel model;
    OverlayController overlay;

private:
    static const QString &freshSettings(const QString &path) {
        QFile::remove(path);
        return path;
    }
};
