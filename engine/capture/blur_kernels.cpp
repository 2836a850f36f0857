#include "engine/capture/blur_kernels.h"

namespace hg::blur {

namespace baseline {
extern const BlurKernels kKernels;
}
#if defined(HG_BLUR_HAVE_AVX2)
namespace avx2 {
extern const BlurKernels kKernels;
}
#endif

const BlurKernels& blurKernels()
{
#if defined(HG_BLUR_HAVE_AVX2)
    static const bool hasAvx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if (hasAvx2)
        return avx2::kKernels;
#endif
    return baseline::kKernels;
}

const BlurKernels& baselineBlurKernels()
{
    return baseline::kKernels;
}

} // namespace hg::blur
