#pragma once

#include <QString>

// Makes chosen file-system calls of this process fail, as a full disk or a
// failing drive would make them fail. Linked into a test program, it stands
// in front of the C library for every caller, Qt's and libgsf's included.
namespace fault_injection {

enum class Call { Write, Sync, Close, Rename, Read };

// From now on, every `call` on a file whose path contains `pathPart` fails
// with `error` (ENOSPC, EIO, ...), or is only counted when `error` is 0. For
// Rename the path is the new name.
void inject(Call call, int error, const QString& pathPart);
// Every call works again.
void clear();
// How many calls failed (or were counted) since the last inject().
int failures();

// Clears the faults when a test ends, also when it fails.
struct Scope {
    Scope() = default;
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    ~Scope() { clear(); }
};

} // namespace fault_injection
