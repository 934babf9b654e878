#include "stream/simd.hpp"

namespace kit {

#if KIT_AVX2
bool has_avx2() {
    // Asked once: the answer does not change while the program runs.
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
                            __builtin_cpu_supports("bmi");
    return has;
}
#endif

}  // namespace kit
