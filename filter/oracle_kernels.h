// The straightforward per-pixel loops, kept as the oracle that the tests,
// the fuzzers and the frame checks compare the kernels with, and as the
// benchmarks' baseline. A library of its own (velmor_oracle), beside the
// core but not in it: no plug-in carries it.
#pragma once

#include "kernels.h"

extern const FrameKernels oracleKernels;
