#include "arcspill/arcspill.hpp"

int main(int argc, char** argv) { return kit::program_main(arcspill::run, argc, argv); }
