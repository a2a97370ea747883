#pragma once

namespace testing_support
{
// Holds an exclusive lock, shared by every process on this machine, for tests that use the
// extension's fixed pipe "bv_reaper": ctest keeps its own such tests apart, but test runs of
// other build trees on the same machine use the same /tmp paths. Waits for the lock.
class FixedPipeLock
{
public:
    FixedPipeLock();
    ~FixedPipeLock();

    FixedPipeLock (const FixedPipeLock&) = delete;
    FixedPipeLock& operator= (const FixedPipeLock&) = delete;

    bool isHeld() const
    {
        return fd >= 0;
    }

private:
    int fd = -1;
};
} // namespace testing_support
