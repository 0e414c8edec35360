#pragma once

#include <QString>

/// The name the desktop knows Pindle by, the same everywhere: its desktop entry
/// (com.pindle.app.desktop), its icon, its notifications and its desktop-portal sessions.
inline const QString pindleAppId = QStringLiteral("com.pindle.app");
