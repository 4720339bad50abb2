#pragma once
// Where the server keeps its settings: the per-user profile of the
// application, as the original registry key named it.
#include <QSettings>
#include <cstdint>
#include <memory>

// The profile store: organisation "应用程序向导生成的本地应用程序",
// application "kelvor-server", native format (an .ini file under
// ~/.config on Linux; QSettings::setPath redirects it).
std::unique_ptr<QSettings> OpenProfileSettings();
// Writes the store out; when it cannot be written, says so on stderr with
// the file's path.
void SaveProfileSettings(QSettings &s);

inline constexpr const char *kNetworkSection = "Network Configuration";
inline constexpr const char *kInterfaceSection = "Interface Configuration";

void WriteProfileInt(QSettings &s, const char *section, const char *name, int value);
// An address as the profile holds it: its high and low 16 bits, in the
// network section.
void WriteProfileAddress(QSettings &s, const char *hiName, const char *loName, uint32_t address);
