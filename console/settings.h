#pragma once
// Where the server keeps its settings: the per-user profile of the
// application, as the original registry key named it.
#include <QSettings>
#include <memory>

// The profile store: organisation "应用程序向导生成的本地应用程序",
// application "kelvor-server", native format (an .ini file under
// ~/.config on Linux; QSettings::setPath redirects it).
std::unique_ptr<QSettings> OpenProfileSettings();
