#pragma once

#include <cstdio>
#include <string>
#include <unistd.h>

// The path an open file descriptor of this process refers to, as the kernel
// names it; empty when it has none.
inline std::string pathOfDescriptor(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    return length > 0 ? std::string(target, size_t(length)) : std::string();
}
