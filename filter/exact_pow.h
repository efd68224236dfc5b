#pragma once

// x raised to y, rounded to the nearest double.
//
// Built only from IEEE double additions, multiplications and divisions, so
// every build of the filter (the 64-bit Linux one and the 32-bit plug-in)
// gets the same bits, whatever its C library's pow does. The tone curve
// truncates pow(x, e) * 256, so a result one unit low in the last place
// would change a table entry: pow(0.25, 0.5) must be 0.5 exactly.
double exactPow(double x, double y);
