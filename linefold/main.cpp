#include "linefold/linefold.hpp"

int main(int argc, char** argv) { return kit::program_main(linefold::run, argc, argv); }
