// CPU time of the calling thread, for the ratios the benchmarks report: other
// load on the machine then does not tilt them.
#pragma once

#include <ctime>

inline double ThreadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU seconds that work() takes.
template <typename Work> double Seconds(Work work) {
    const double start = ThreadSeconds();
    work();
    return ThreadSeconds() - start;
}
