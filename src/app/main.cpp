// skyharvester: the window, and the -ASCII batch conversion.
#include <cstdio>

#include "core/start_up.h"

int main(int argc, char** argv) {
  (void)argc;
  (void)argv;
  skyh::StartUpPaths paths;
  if (auto code = skyh::StartUp({}, paths)) return *code;
  std::fprintf(stderr, "The SkyHarvester window is not built yet; use skyharvester-cli.\n");
  return 0;
}
