#pragma once
#include <string>

namespace kv {

// The folder of the running program's file, ending with '/'. Callers append
// a file name to it.
std::string GetModuleFolder();

}  // namespace kv
