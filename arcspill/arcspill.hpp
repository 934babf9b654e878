// arcspill: unpacks the text library archive "ou.bin" into the text archive
// "ou_unpack.csl", both in the current directory. Arguments other than
// --help and --version are ignored.
#pragma once

#include <string>
#include <vector>

#include "stream/program.hpp"

namespace arcspill {

// Returns 0 after a complete run and 1 when an item's subBlock0 is not 0;
// every other failure arrives as a kit::Failure.
int run(const std::vector<std::string>& args, kit::Console& console);

}  // namespace arcspill
