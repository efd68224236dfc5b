// Running a batch: its inputs expanded and shared out (--shard), each file
// converted by velmor's own file mode in a process of its own (still
// pictures many to one ffmpeg, each as file mode writes it), -j at once,
// the outputs each renamed into place when complete; a file that fails
// does not stop the others (unless --fail-fast), and the exit status says
// whether any did.
#pragma once

#include "batch_options.h"

// 0 when no file failed, 1 when one did, 2 for a mistake in the command,
// 128 + the signal that stopped the batch.
int runBatch(const BatchOptions& b);
