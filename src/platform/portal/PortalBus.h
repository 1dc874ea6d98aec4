#pragma once

#include <QString>

// The names under which the desktop portal answers on the session bus.
namespace backreel::portal {

inline const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString kScreenCastInterface = QStringLiteral("org.freedesktop.portal.ScreenCast");
inline const QString kGlobalShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
inline const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
inline const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");

} // namespace backreel::portal
