// Foxhis commands that arrive as UDP datagrams. Not handled yet: the
// dispatcher recognises them and they end there.
#include "console/kelvor_dlg.h"

void CKelvorDlg::OnPmsUdpCommand(CXmlDoc &, const std::string &) {}
