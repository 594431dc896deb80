#pragma once

#include "core/AppState.h"
#include "core/WindowPort.h"
#include "platform/Platform.h"

namespace tarvino {

class SettingsStore;

/// What an operation works with: the shared state, the window, the operating
/// system and the settings store. Tests build one around a temporary folder.
struct Context {
    AppState& state;
    WindowPort& window;
    platform::Platform& platform;
    SettingsStore& settings;

    platform::FileSystem& files() const { return platform.files(); }
    platform::Clock& clock() const { return platform.clock(); }
};

} // namespace tarvino
