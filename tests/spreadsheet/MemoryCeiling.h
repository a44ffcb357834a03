#pragma once

#include <sys/resource.h>

#include <algorithm>

// Keeps the process's data under a ceiling while it lives: a picture that
// should be refused, if it were drawn after all, fails to allocate instead of
// taking gigabytes. AddressSanitizer reserves vast memory of its own and
// refuses such allocations itself, so there the ceiling is left alone.
class MemoryCeiling {
public:
    explicit MemoryCeiling(rlim_t bytes)
    {
#ifndef __SANITIZE_ADDRESS__
        if (getrlimit(RLIMIT_DATA, &saved_) == 0) {
            rlimit lowered = saved_;
            lowered.rlim_cur = std::min(saved_.rlim_cur, bytes);
            lowered_ = setrlimit(RLIMIT_DATA, &lowered) == 0;
        }
#else
        (void)bytes;
#endif
    }
    ~MemoryCeiling()
    {
        if (lowered_)
            setrlimit(RLIMIT_DATA, &saved_);
    }
    MemoryCeiling(const MemoryCeiling&) = delete;
    MemoryCeiling& operator=(const MemoryCeiling&) = delete;

private:
    rlimit saved_{};
    bool lowered_ = false;
};
