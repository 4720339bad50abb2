#include "console/settings.h"

#include "console/kelvor_dlg.h"
#include "platform/error_line.h"
#include "platform/gbk.h"

#include <QDir>

namespace {

const char *const kNetwork = kNetworkSection;
const char *const kInterface = kInterfaceSection;

int ReadInt(QSettings &s, const char *section, const char *name, int fallback)
{
    bool ok = false;
    const int v = s.value(QLatin1String(section) + u'/' + QLatin1String(name)).toInt(&ok);
    return ok ? v : fallback;
}

// A 32-bit address from its two 16-bit halves, as the profile stores it.
uint32_t ReadAddress(QSettings &s, const char *hiName, const char *loName, int hiDefault, int loDefault)
{
    const uint32_t hi = static_cast<uint32_t>(ReadInt(s, kNetwork, hiName, hiDefault)) & 0xFFFFu;
    const uint32_t lo = static_cast<uint32_t>(ReadInt(s, kNetwork, loName, loDefault)) & 0xFFFFu;
    return hi * 65536u + lo;
}

} // namespace

void WriteProfileInt(QSettings &s, const char *section, const char *name, int value)
{
    s.setValue(QLatin1String(section) + u'/' + QLatin1String(name), value);
}

void WriteProfileAddress(QSettings &s, const char *hiName, const char *loName, uint32_t address)
{
    WriteProfileInt(s, kNetwork, hiName, static_cast<int>(address >> 16));
    WriteProfileInt(s, kNetwork, loName, static_cast<int>(address & 0xFFFFu));
}

void SaveProfileSettings(QSettings &s)
{
    s.sync();
    if (s.status() == QSettings::NoError)
        return;
    const std::string label = "kelvor-server: settings not saved to " +
                              platform::GbkFromQString(QDir::toNativeSeparators(s.fileName())).toStdString();
    platform::WriteErrorLine(label.c_str(), s.status() == QSettings::AccessError
                                                ? "the file or its folder cannot be written"
                                                : "the file is not in the settings format");
}

std::unique_ptr<QSettings> OpenProfileSettings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       platform::QStringFromGbk("应用程序向导生成的本地应用程序"),
                                       QStringLiteral("kelvor-server"));
}

void CKelvorDlg::ReadSettings()
{
    const auto settings = OpenProfileSettings();
    QSettings &s = *settings;
    m_hmsIp = ReadAddress(s, "HMS IP ADDRESS HIWORD", "HMS IP ADDRESS LOWORD", 0xC0A8, 0x0101);
    m_hmsPort = ReadInt(s, kNetwork, "HMS UDP PORT NUM", 1500);
    m_hmsIpAuto = ReadInt(s, kNetwork, "HMS IP AUTO", 0);
    m_gatewayAddr = ReadAddress(s, "GATEWAY IP ADDRESS HIWORD", "GATEWAY IP ADDRESS LOWORD", 0xC0A8, 0x0100);
    m_broadcastInterval = ReadInt(s, kNetwork, "BROADCAST INTERVAL", 10);
    m_rcuUdpPort = ReadInt(s, kNetwork, "RCU UDP PORT NUM", 14444);
    m_localUdpPort = ReadInt(s, kNetwork, "LOCAL UDP PORT NUM", 14444);
    m_rcuBroadcastIp = ReadAddress(s, "RCU IP ADDRESS HIWORD", "RCU IP ADDRESS LOWORD", 0xC0A8, 0xFFFF);
    m_autoCheckTime = ReadInt(s, kNetwork, "AUTO CHECK TIME", 0);
    m_autoCheckInterval = ReadInt(s, kNetwork, "AUTO CHECK TIME INTERVAL", 10);
    m_pmsType = ReadInt(s, kInterface, "HMS INTERFACE", kPmsNone);
}

// "HMS INTERFACE" is not written back: only the parameters dialog changes it.
void CKelvorDlg::WriteSettings()
{
    const auto settings = OpenProfileSettings();
    QSettings &s = *settings;
    WriteProfileAddress(s, "HMS IP ADDRESS HIWORD", "HMS IP ADDRESS LOWORD", m_hmsIp);
    WriteProfileInt(s, kNetwork, "HMS UDP PORT NUM", m_hmsPort);
    WriteProfileInt(s, kNetwork, "HMS IP AUTO", m_hmsIpAuto);
    WriteProfileAddress(s, "GATEWAY IP ADDRESS HIWORD", "GATEWAY IP ADDRESS LOWORD", m_gatewayAddr);
    WriteProfileAddress(s, "RCU IP ADDRESS HIWORD", "RCU IP ADDRESS LOWORD", m_rcuBroadcastIp);
    WriteProfileInt(s, kNetwork, "BROADCAST INTERVAL", m_broadcastInterval);
    WriteProfileInt(s, kNetwork, "RCU UDP PORT NUM", m_rcuUdpPort);
    WriteProfileInt(s, kNetwork, "LOCAL UDP PORT NUM", m_localUdpPort);
    WriteProfileInt(s, kNetwork, "AUTO CHECK TIME", m_autoCheckTime);
    WriteProfileInt(s, kNetwork, "AUTO CHECK TIME INTERVAL", m_autoCheckInterval);
    SaveProfileSettings(s);
}
