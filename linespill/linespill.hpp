// linespill: pulls every block name and block text of the text archive
// "ou.csl" into the line list "ou.txt" (see linelist.hpp), both in the
// current directory. Arguments other than --help and --version are ignored.
#pragma once

#include <string>
#include <vector>

#include "stream/program.hpp"

namespace linespill {

int run(const std::vector<std::string>& args, kit::Console& console);

}  // namespace linespill
