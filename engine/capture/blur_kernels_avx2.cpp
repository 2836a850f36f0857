// The blur's inner loops for x86-64 processors with AVX2 and FMA; this file is
// compiled with -mavx2 -mfma and only called after a run-time check.
#include "engine/capture/blur_kernels.h"

#define HG_BLUR_ISA avx2
#define HG_BLUR_ISA_NAME "avx2"
#include "engine/capture/blur_kernels_impl.inc"
