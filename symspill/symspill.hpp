// symspill: writes the symbol dump of a script data file, one line per symbol
// record, to the file's name with ".txt" appended.
#pragma once

#include <string>
#include <vector>

#include "stream/program.hpp"

namespace symspill {

// Returns the exit status of a complete run; failures arrive as kit::Failure.
int run(const std::vector<std::string>& args, kit::Console& console);

}  // namespace symspill
