#pragma once

#include <algorithm>
#include <vector>

// The middle of the timings: one slow run (a page fault, another process)
// does not move it.
inline double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
