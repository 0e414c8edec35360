#pragma once

#include "ConversationRig.h"
#include "FakeDesktopServices.h"
#include "models/MenuModel.h"
#include "models/MessageListModel.h"
#include "models/RecordingControls.h"
#include "models/ShortcutController.h"
#include "platform/OverlayWindowing.h"
#include "services/AudioRecorder.h"
#include "services/SystemAudioRecorder.h"
#include "windows/OverlayPanel.h"

#include <QQmlEngine>

#include <memory>

// What the overlay shows, made afresh for each use: a conversation, the record buttons over a
// pretend sound server, the shortcuts over pretend grabs, and the menu (tst_desktop opens it); real
// controllers, as the views take no stand-ins. The window is this desktop's, or as `windowing`
// tells.
struct OverlayRig {
    OverlayRig(const QString &settingsPath, ScreenshotTaker &capture, FocusHandoff &focus,
               std::unique_ptr<OverlayWindowing> windowing)
        : windowing(std::move(windowing))
        , rig(settingsPath, capture, focus, {}, [this](OverlayController &controller) {
            return std::make_unique<OverlayPanel>(&engine, controller, std::move(this->windowing));
        }) {}

    // Made first, gone last: the panel the rig makes is drawn by it.
    QQmlEngine engine;
    std::unique_ptr<OverlayWindowing> windowing; // until the panel takes it
    ConversationRig rig;
    MessageListModel list{rig.model};
    FakeAudioCapture sound;
    AudioRecorder microphone{sound};
    SystemAudioRecorder systemAudio{sound};
    RecordingControls recording{microphone, systemAudio, rig.model};
    FakeHotkeys hotkeys;
    FakeDesktop desktop;
    ShortcutSettings shortcutSettings{rig.settings};
    ShortcutController shortcuts{shortcutSettings, hotkeys, desktop};
    MenuModel menu;
    OverlayPanel &panel = static_cast<OverlayPanel &>(rig.overlay.window());
};
