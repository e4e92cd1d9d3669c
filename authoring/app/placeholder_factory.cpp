// Used only while the authoring tool's widget library is not part of the build.
#include "foundation/shell/placeholder_parts.h"

namespace kv::shell {
std::unique_ptr<ProgramParts> CreateKovasandParts(AppContext& context) {
  return CreatePlaceholderParts(context);
}
}  // namespace kv::shell
