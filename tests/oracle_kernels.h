// The straightforward per-pixel loops, kept as the oracle the kernels are
// compared with, and as the benchmarks' baseline.
#pragma once

#include "kernels.h"

extern const FrameKernels oracleKernels;
