#include "tests/support/FaultInjection.h"
#include "tests/support/DescriptorPath.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <unistd.h>

namespace fault_injection {
namespace {

struct Plan {
    std::atomic<bool> active{false};
    std::mutex mutex;
    Call call = Call::Write;
    int error = 0;
    std::string pathPart;
    std::atomic<int> failures{0};
};

Plan& plan()
{
    static Plan thePlan;
    return thePlan;
}

// True, with errno set, when this call is to fail.
bool shouldFail(Call call, const std::string& path)
{
    Plan& current = plan();
    if (!current.active.load(std::memory_order_acquire))
        return false;
    std::lock_guard lock(current.mutex);
    if (current.call != call || path.find(current.pathPart) == std::string::npos)
        return false;
    ++current.failures;
    if (current.error == 0)
        return false;
    errno = current.error;
    return true;
}

bool shouldFail(Call call, int fd)
{
    return plan().active.load(std::memory_order_acquire) && shouldFail(call, pathOfDescriptor(fd));
}

template <class Function>
Function next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

void inject(Call call, int error, const QString& pathPart)
{
    Plan& current = plan();
    std::lock_guard lock(current.mutex);
    current.call = call;
    current.error = error;
    current.pathPart = QFile::encodeName(pathPart).toStdString();
    current.failures = 0;
    current.active.store(true, std::memory_order_release);
}

void clear()
{
    plan().active.store(false, std::memory_order_release);
}

int failures()
{
    return plan().failures.load();
}

} // namespace fault_injection

using fault_injection::Call;
using fault_injection::shouldFail;

// The stand-ins. A write that fails for lack of space writes nothing, as a
// full disk does once no block is left.
extern "C" {

ssize_t write(int fd, const void* buffer, size_t count)
{
    static const auto real = fault_injection::next<ssize_t (*)(int, const void*, size_t)>("write");
    if (count > 0 && shouldFail(Call::Write, fd))
        return -1;
    return real(fd, buffer, count);
}

ssize_t read(int fd, void* buffer, size_t count)
{
    static const auto real = fault_injection::next<ssize_t (*)(int, void*, size_t)>("read");
    if (count > 0 && shouldFail(Call::Read, fd))
        return -1;
    return real(fd, buffer, count);
}

int fdatasync(int fd)
{
    static const auto real = fault_injection::next<int (*)(int)>("fdatasync");
    if (shouldFail(Call::Sync, fd))
        return -1;
    return real(fd);
}

int fsync(int fd)
{
    static const auto real = fault_injection::next<int (*)(int)>("fsync");
    if (shouldFail(Call::Sync, fd))
        return -1;
    return real(fd);
}

int close(int fd)
{
    static const auto real = fault_injection::next<int (*)(int)>("close");
    // The descriptor is closed all the same, as the kernel does.
    const bool fail = shouldFail(Call::Close, fd);
    const int error = errno;
    const int result = real(fd);
    if (fail) {
        errno = error;
        return -1;
    }
    return result;
}

int rename(const char* from, const char* to)
{
    static const auto real = fault_injection::next<int (*)(const char*, const char*)>("rename");
    if (shouldFail(Call::Rename, std::string(to)))
        return -1;
    return real(from, to);
}

} // extern "C"
