#pragma once
// A small file system for one test: a tmpfs mounted over a folder, in a
// mount namespace the test process takes for itself (so no other process
// sees it, and it goes with the process). Only a process allowed to mount
// (root, CAP_SYS_ADMIN) can make one; a test skips where Mount says no.
//
// The namespace is the calling thread's: make it on the thread that then
// opens the files, before it opens them.
#include <QDir>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

class SmallDisk {
public:
    SmallDisk() = default;
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;
    ~SmallDisk()
    {
        Free();
        if (!m_folder.empty())
            umount2(m_folder.c_str(), MNT_DETACH);
    }

    // bytes of tmpfs over folder (made when missing); false with the reason
    // when this process may not mount.
    bool Mount(const QString &folder, size_t bytes, std::string &why)
    {
        const std::string path = folder.toStdString();
        if (!QDir().mkpath(folder))
            return Fail(why, "cannot make " + path);
        if (unshare(CLONE_NEWNS) != 0)
            return Fail(why, "no mount namespace of its own (unshare)");
        // Private: the mount below stays in this namespace.
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return Fail(why, "cannot make the mounts private");
        const std::string options = "size=" + std::to_string(bytes);
        if (mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) != 0)
            return Fail(why, "cannot mount a tmpfs");
        m_folder = path;
        return true;
    }

    // Takes every byte that is left: the next write that needs space fails
    // with ENOSPC.
    void Fill()
    {
        m_filler = m_folder + "/filler";
        const int fd = ::open(m_filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0)
            return;
        static const char block[4096] = {};
        for (size_t size = sizeof block; size > 0;)
            if (::write(fd, block, size) <= 0)
                size /= 2; // the last pages may take less than a block
        ::close(fd);
    }

    // Gives the space back.
    void Free()
    {
        if (!m_filler.empty())
            ::unlink(m_filler.c_str());
        m_filler.clear();
    }

private:
    static bool Fail(std::string &why, const std::string &what)
    {
        why = what + ": " + std::strerror(errno);
        return false;
    }

    std::string m_folder;
    std::string m_filler;
};
