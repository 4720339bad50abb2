#include "platform/private_runtime_dir.h"

#include "platform/error_line.h"
#include "platform/gbk.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace platform {

PrivateRuntimeDir::PrivateRuntimeDir()
{
    const char *given = std::getenv("XDG_RUNTIME_DIR");
    if (given && *given)
        return;
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kelvor-runtime-XXXXXX";
    // mkdtemp makes it 0700 under a name no one else holds.
    if (!::mkdtemp(pattern.data())) {
        WriteErrorLine("kelvor-server: no runtime directory (XDG_RUNTIME_DIR unset)",
                       GbkFromUtf8(pattern + ": " + std::strerror(errno)));
        return;
    }
    if (::setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1) != 0) {
        WriteErrorLine("kelvor-server: XDG_RUNTIME_DIR not set", std::strerror(errno));
        std::filesystem::remove(pattern);
        return;
    }
    m_path = pattern;
}

PrivateRuntimeDir::~PrivateRuntimeDir()
{
    if (m_path.empty())
        return;
    ::unsetenv("XDG_RUNTIME_DIR");
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
    if (error)
        WriteErrorLine("kelvor-server: runtime directory not removed", GbkFromUtf8(m_path + ": " + error.message()));
}

} // namespace platform
