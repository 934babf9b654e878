// A script data file of any bytes through the symbol dumper.
#include "fuzz/fuzz_support.hpp"
#include "symspill/symspill.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kit_fuzz::enter_scratch_dir();
    kit_fuzz::write_file("f.dat", std::string_view(reinterpret_cast<const char*>(data), size));
    kit_fuzz::run_and_check(symspill::run, {"f.dat"});
    return 0;
}
