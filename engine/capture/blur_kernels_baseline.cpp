// The blur's inner loops for any processor this program builds for (SSE2 on
// x86-64), see blur_kernels_impl.inc.
#include "engine/capture/blur_kernels.h"

#define HG_BLUR_ISA baseline
#define HG_BLUR_ISA_NAME "baseline"
#include "engine/capture/blur_kernels_impl.inc"
