// The AVX2 kernels before the byte-shuffle map, for side-by-side timing.
#pragma once

#include "kernels.h"

extern const FrameKernels beforeKernels;
