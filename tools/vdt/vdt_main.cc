// The vdt executable.
#include <iostream>

#include "tools/vdt/vdt.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return corvanth::vdt::runVdt(args, std::cout, std::cerr);
}
