#include "look.h"

namespace velmoro::window {

drawing::Look StartingLook(drawing::Look remembered, const std::vector<std::string>& arguments) {
    drawing::Look look = remembered;
    for (const std::string& argument : arguments) {
        drawing::LookFromArgument(argument, look);
    }
    return look;
}

}  // namespace velmoro::window
