#pragma once
// One server per data directory: an exclusive flock on a lock file there,
// held for the life of the process and dropped by the kernel when it ends,
// however it ends. A separate file, because SQLite's own locks on velto.db
// and tempdb.db are POSIX locks, which any close of those files in this
// process would drop. The holder's process id is written into the file, so a
// second server can say who holds it.
#include <string>

namespace platform {

class InstanceLock {
public:
    enum class Result { Taken, HeldByOther, Failed };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Tries once, without waiting. HeldByOther: OtherPid() names the holder
    // (0 when it has not written its id yet). Failed: Error() says why.
    Result Take(const std::string &path);

    long OtherPid() const { return m_otherPid; }
    const std::string &Error() const { return m_error; }

private:
    int m_fd = -1;
    long m_otherPid = 0;
    std::string m_error;
};

} // namespace platform
