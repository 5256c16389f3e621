#pragma once

// The window's look, day or night (drawing/palette.h), chosen from the
// system menu's checked "Night Mode" item, remembered across starts, and
// overridden for one start by "--night" or "--day" on the command line.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "palette.h"

namespace velmoro::window {

// The look a desktop program starts in: the remembered one, unless an
// argument says "--night" or "--day" (the last such argument wins).
drawing::Look StartingLook(drawing::Look remembered, const std::vector<std::string>& arguments);

// Kept by each platform where its settings live: a settings file on Linux,
// the registry on Windows. A look never remembered is day.
drawing::Look RememberedLook();
void RememberLook(drawing::Look look);

// The system menu's "Night Mode" item chosen while the window shows
// current: the other look, remembered for the next start.
drawing::Look ChooseOtherLook(drawing::Look current);

// A settings file, where a platform keeps one: "settings.ini" in the
// program's settings folder, or in the folder this variable names (tests
// name one of their own, so that they never touch the user's settings).
inline constexpr char kSettingsFolderVariable[] = "VELMORO_SETTINGS_DIR";
inline constexpr char kSettingsFileName[] = "settings.ini";
// Files larger than this are not settings files of ours: only this much is
// read.
inline constexpr std::size_t kSettingsMaxBytes = 4096;

// The file's text for a look, one line "look=night" or "look=day"; read
// back, a text without such a line (or a line of another value) is day.
std::string LookSettings(drawing::Look look);
drawing::Look LookFromSettings(std::string_view text);

}  // namespace velmoro::window
