// tuner-sim: a stand-in for the tuner stick's driver (see README.md).
#include "config.h"
#include "simulator.h"

#include <cstdio>
#include <stdexcept>

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<tunersim::Config> cfg = tunersim::parse_args(args);
    if (!cfg) {
      std::fputs(tunersim::usage().c_str(), stdout);
      return 0;
    }
    tunersim::Simulator sim(*cfg);
    return sim.run();
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "tuner-sim: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tuner-sim: %s\n", e.what());
    return 1;
  }
}
