// An archive "ou.bin" of any bytes through the unpacker.
#include "fuzz/fuzz_support.hpp"
#include "arcspill/arcspill.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kit_fuzz::enter_scratch_dir();
    kit_fuzz::write_file("ou.bin", std::string_view(reinterpret_cast<const char*>(data), size));
    kit_fuzz::run_and_check(arcspill::run, {});
    return 0;
}
