// A script data file and a symbol dump together through the rebuilder.
#include "fuzz/fuzz_support.hpp"
#include "symfold/symfold.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kit_fuzz::enter_scratch_dir();
    const auto [dat, dump] = kit_fuzz::split2(data, size);
    kit_fuzz::write_file("f.dat", dat);
    kit_fuzz::write_file("f.dat.txt", dump);
    kit_fuzz::run_and_check(symfold::run, {"f.dat"});
    return 0;
}
