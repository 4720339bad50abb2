#pragma once
// Qt keeps per-user runtime files in XDG_RUNTIME_DIR, which a login session
// provides (/run/user/<uid>) and the service unit sets (RuntimeDirectory=).
// Started outside both (su, cron, a container's shell, ssh without a
// session), Qt warns at every start and falls back to /tmp/runtime-<user>,
// a name anyone can take first. The server then makes a directory of its own.
#include <string>

namespace platform {

class PrivateRuntimeDir {
public:
    // Only when XDG_RUNTIME_DIR is unset or empty: a new directory of mode
    // 0700 under TMPDIR (else /tmp), named in XDG_RUNTIME_DIR. A failure is
    // written to stderr with its cause and leaves the variable as it was.
    PrivateRuntimeDir();
    // Removes the directory made, with whatever was left in it, and the
    // variable naming it.
    ~PrivateRuntimeDir();
    PrivateRuntimeDir(const PrivateRuntimeDir &) = delete;
    PrivateRuntimeDir &operator=(const PrivateRuntimeDir &) = delete;

    // The directory made; empty when the environment had one or none could
    // be made.
    const std::string &Path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace platform
