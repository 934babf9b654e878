// A text archive "ou.csl" of any bytes through the extractor.
#include "fuzz/fuzz_support.hpp"
#include "linespill/linespill.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kit_fuzz::enter_scratch_dir();
    kit_fuzz::write_file("ou.csl", std::string_view(reinterpret_cast<const char*>(data), size));
    kit_fuzz::run_and_check(linespill::run, {});
    return 0;
}
