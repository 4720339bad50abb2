#include "database/engine_settings.h"

#include <QSettings>
#include <mutex>
#include <optional>

namespace database {
namespace {

std::mutex g_mutex;
std::optional<EngineSettings> g_settings;

EngineSettings LoadEngineSettings()
{
    QSettings store;
    store.beginGroup(QStringLiteral("Database Configuration"));
    EngineSettings settings;
    if (store.value(QStringLiteral("DATABASE ENGINE"), 0).toInt() == 1)
        settings.engine = Engine::Odbc;
    const int timeout = store.value(QStringLiteral("LOGIN TIMEOUT"), 5).toInt();
    if (timeout > 0)
        settings.loginTimeoutSeconds = timeout;
    return settings;
}

} // namespace

EngineSettings CurrentEngineSettings()
{
    std::lock_guard lock(g_mutex);
    if (!g_settings)
        g_settings = LoadEngineSettings();
    return *g_settings;
}

void SetEngineSettings(const EngineSettings &settings)
{
    std::lock_guard lock(g_mutex);
    g_settings = settings;
}

} // namespace database
