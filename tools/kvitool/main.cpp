#include <iostream>
#include <string>
#include <vector>

#include "tools/kvitool/kvitool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return kv::RunKvitool(args, std::cout, std::cerr);
}
