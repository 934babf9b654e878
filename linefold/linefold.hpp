// linefold: merges the edited line list "ou.txt" back into the text archive
// "ou.csl" and writes "ou.cls.new", all in the current directory. The k-th
// line of the archive that holds the text marker receives the block text of
// the k-th list line; every other line is copied. Arguments other than --help
// and --version are ignored.
#pragma once

#include <string>
#include <vector>

#include "stream/program.hpp"

namespace linefold {

int run(const std::vector<std::string>& args, kit::Console& console);

}  // namespace linefold
