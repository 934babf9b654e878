// A text archive and a line list together through the merger.
#include "fuzz/fuzz_support.hpp"
#include "linefold/linefold.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kit_fuzz::enter_scratch_dir();
    const auto [archive, list] = kit_fuzz::split2(data, size);
    kit_fuzz::write_file("ou.csl", archive);
    kit_fuzz::write_file("ou.txt", list);
    kit_fuzz::run_and_check(linefold::run, {});
    return 0;
}
