#include "front_end.h"

namespace velmoro::window {

std::optional<UpdateType> UpdateTypeOf(int controlId) {
    if (controlId == ids::IDC_MAIN_PROGRAM) {
        return UpdateType::MainProgram;
    }
    if (controlId == ids::IDC_OBJECT_CATALOG) {
        return UpdateType::ObjectCatalog;
    }
    return std::nullopt;
}

}  // namespace velmoro::window
