// symfold: rebuilds a script data file from its edited symbol dump. The new
// file, the name with ".new" appended, takes its header and code tail from
// the script data file and every symbol record from the matching dump line.
#pragma once

#include <string>
#include <vector>

#include "stream/program.hpp"

namespace symfold {

// Returns the exit status of a complete run; failures arrive as kit::Failure.
int run(const std::vector<std::string>& args, kit::Console& console);

}  // namespace symfold
