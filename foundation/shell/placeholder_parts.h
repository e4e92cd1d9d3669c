#pragma once
// Parts with an empty view, for a program whose own widgets are not built:
// the shell then still starts, shows its menus and opens nothing.
#include <memory>

#include "foundation/shell/program.h"

namespace kv::shell {

std::unique_ptr<ProgramParts> CreatePlaceholderParts(AppContext& context);

}  // namespace kv::shell
