// Room unit status reports (0x81 short, 0x84 full). Not handled yet: the
// datagram ends after the dispatcher's own work.
#include "console/kelvor_dlg.h"

void CKelvorDlg::OnRcuStatusReport(int64_t, CRoom *, int) {}
