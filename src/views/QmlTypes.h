#pragma once

#include "models/ChatViewModel.h"
#include "models/LoginController.h"
#include "models/MenuModel.h"
#include "models/MessageListModel.h"
#include "models/OverlayController.h"
#include "models/RecordingControls.h"
#include "models/SettingsController.h"
#include "models/ShortcutController.h"
#include "platform/DesktopAppearance.h"
#include "platform/OverlayWindowing.h"
#include "services/SettingsManager.h"

#include <QtQml/qqml.h>

// The application's objects as the views know them: typed, and made only by the application.

struct ChatViewModelForeign {
    Q_GADGET
    QML_FOREIGN(ChatViewModel)
    QML_NAMED_ELEMENT(ChatViewModel)
    QML_UNCREATABLE("Made by the application")
};

struct LoginControllerForeign {
    Q_GADGET
    QML_FOREIGN(LoginController)
    QML_NAMED_ELEMENT(LoginController)
    QML_UNCREATABLE("Made by the application")
};

struct MenuModelForeign {
    Q_GADGET
    QML_FOREIGN(MenuModel)
    QML_NAMED_ELEMENT(MenuModel)
    QML_UNCREATABLE("Made by the application")
};

struct MessageListModelForeign {
    Q_GADGET
    QML_FOREIGN(MessageListModel)
    QML_NAMED_ELEMENT(MessageListModel)
    QML_UNCREATABLE("Made by the application")
};

struct OverlayControllerForeign {
    Q_GADGET
    QML_FOREIGN(OverlayController)
    QML_NAMED_ELEMENT(OverlayController)
    QML_UNCREATABLE("Made by the application")
};

struct DesktopAppearanceForeign {
    Q_GADGET
    QML_FOREIGN(DesktopAppearance)
    QML_NAMED_ELEMENT(DesktopAppearance)
    QML_UNCREATABLE("Made by the application")
};

struct OverlayWindowingForeign {
    Q_GADGET
    QML_FOREIGN(OverlayWindowing)
    QML_NAMED_ELEMENT(OverlayWindowing)
    QML_UNCREATABLE("Made by the application")
};

struct RecordingControlsForeign {
    Q_GADGET
    QML_FOREIGN(RecordingControls)
    QML_NAMED_ELEMENT(RecordingControls)
    QML_UNCREATABLE("Made by the application")
};

struct SettingsControllerForeign {
    Q_GADGET
    QML_FOREIGN(SettingsController)
    QML_NAMED_ELEMENT(SettingsController)
    QML_UNCREATABLE("Made by the application")
};

struct SettingsManagerForeign {
    Q_GADGET
    QML_FOREIGN(SettingsManager)
    QML_NAMED_ELEMENT(SettingsManager)
    QML_UNCREATABLE("Made by the application")
};

struct ShortcutControllerForeign {
    Q_GADGET
    QML_FOREIGN(ShortcutController)
    QML_NAMED_ELEMENT(ShortcutController)
    QML_UNCREATABLE("Made by the application")
};
