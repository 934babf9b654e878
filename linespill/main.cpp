#include "linespill/linespill.hpp"

int main(int argc, char** argv) { return kit::program_main(linespill::run, argc, argv); }
