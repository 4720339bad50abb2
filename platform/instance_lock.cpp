#include "platform/instance_lock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {
namespace {

long ReadPid(int fd)
{
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0)
        return 0;
    text[n] = 0;
    return std::strtol(text, nullptr, 10);
}

} // namespace

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

InstanceLock::Result InstanceLock::Take(const std::string &path)
{
    m_otherPid = 0;
    m_error.clear();
    bool writable = true;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    int openError = errno;
    // A read-only folder may still hold the file: a lock needs no write.
    if (fd < 0 && (openError == EACCES || openError == EROFS)) {
        writable = false;
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 && errno != ENOENT)
            openError = errno;
    }
    if (fd < 0) {
        m_error = std::strerror(openError);
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            m_otherPid = ReadPid(fd);
            ::close(fd);
            return Result::HeldByOther;
        }
        ::close(fd);
        m_error = std::strerror(error);
        return Result::Failed;
    }
    if (writable) {
        const std::string pid = std::to_string(static_cast<long>(::getpid())) + "\n";
        if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size()))
            m_error = std::strerror(errno); // held all the same; only the id is missing
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    return Result::Taken;
}

} // namespace platform
