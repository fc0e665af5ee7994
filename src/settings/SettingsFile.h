#pragma once

#include <QString>

// The settings file: "settings.dt" in a folder named after the application title, under the
// user's application-data folder (APPDATA when set). Creates the folder when it is missing.
[[nodiscard]] QString GetSettingsFileName();
