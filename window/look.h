#pragma once

// The window's look, day or night (drawing/palette.h), chosen from the
// system menu's checked "Night Mode" item, remembered across starts, and
// overridden for one start by "--night" or "--day" on the command line.

#include <string>
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

}  // namespace velmoro::window
