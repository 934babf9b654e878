#include "stream/program.hpp"
#include "symfold/symfold.hpp"

int main(int argc, char** argv) { return kit::program_main(symfold::run, argc, argv); }
