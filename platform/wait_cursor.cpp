#include <atomic>

#include "platform/services.h"

namespace kv::platform {
namespace {
std::atomic<WaitCursor::Hook> g_hook{nullptr};
}

WaitCursor::WaitCursor() {
  if (Hook h = g_hook.load()) h(true);
}

WaitCursor::~WaitCursor() {
  if (Hook h = g_hook.load()) h(false);
}

void WaitCursor::InstallHook(Hook hook) { g_hook.store(hook); }

}  // namespace kv::platform
