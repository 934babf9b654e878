#include "stream/program.hpp"
#include "symspill/symspill.hpp"

int main(int argc, char** argv) { return kit::program_main(symspill::run, argc, argv); }
