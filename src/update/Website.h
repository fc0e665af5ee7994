#pragma once

#include <QString>
#include <QUrl>

// The product website: the only place that names it. The host is chosen at build time
// (QUORLANE_WEBSITE_HOST); without one the name shown is a reserved one that never resolves, and
// there is no start-up check.
namespace quorlane {

inline constexpr char VersionFilePath[] = "/download/version/quorlane-version.html";
inline constexpr char ChangeListPath[] = "/download/version/quorlane-changes.html";
inline constexpr char InstallerPath[] = "/download/quorlane.exe";
inline constexpr char InstallerFileName[] = "quorlane_update.exe";
inline constexpr char WebsiteUserAgent[] = "Mozilla/4.0 (compatible; MyApp)";

// The bare host name (with a port when the build names one), as the about box prints it.
[[nodiscard]] QString WebsiteHost();
// The https address of the site's root: the link's caption, and what the browser opens.
[[nodiscard]] QUrl WebsiteHomeUrl();
// False in builds made without the start-up check (QUORLANE_UPDATE_CHECK=OFF) or without a
// website host.
[[nodiscard]] bool UpdateCheckBuiltIn();

// Base + Path, keeping the base's scheme, host and port.
[[nodiscard]] QUrl WebsiteResource(const QUrl& Base, const char* Path);

}   // namespace quorlane
