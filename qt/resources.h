#pragma once

#include <QIcon>

namespace velmoro::toolkit {

// An icon resource with every size it was drawn in; an empty icon when the
// resource does not exist.
QIcon LoadIcon(int id);

}  // namespace velmoro::toolkit
