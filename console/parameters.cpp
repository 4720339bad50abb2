#include "console/parameters.h"

#include "console/kelvor_dlg.h"
#include "console/settings.h"

void ApplyParameters(CKelvorDlg &server, const ParameterValues &v)
{
    {
        const auto settings = OpenProfileSettings();
        QSettings &s = *settings;
        server.m_rcuBroadcastIp = v.rcuBroadcastIp;
        WriteProfileAddress(s, "RCU IP ADDRESS HIWORD", "RCU IP ADDRESS LOWORD", v.rcuBroadcastIp);
        WriteProfileInt(s, kNetworkSection, "BROADCAST INTERVAL", v.broadcastInterval);
        server.m_broadcastInterval = v.broadcastInterval;
        server.m_pmsType = v.pmsType;
        WriteProfileInt(s, kInterfaceSection, "HMS INTERFACE", v.pmsType);
        server.m_hmsPort = v.hmsPort;
        server.m_hmsIp = v.hmsIp;
        WriteProfileAddress(s, "HMS IP ADDRESS HIWORD", "HMS IP ADDRESS LOWORD", v.hmsIp);
        WriteProfileInt(s, kNetworkSection, "HMS UDP PORT NUM", v.hmsPort);
        WriteProfileInt(s, kNetworkSection, "HMS IP AUTO", v.hmsIpAuto);
        server.m_hmsIpAuto = v.hmsIpAuto;
        SaveProfileSettings(s);
    }
    for (int i = 0; i < 4; ++i)
        server.SetOptionInt(kParameterOptionCodes[i], 0, v.optionSwitches[i] ? 1 : 0);
}
