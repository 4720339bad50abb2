// The PMS room-state poller for PMS types 2 and 3. Not started yet.
#include "console/kelvor_dlg.h"

void CKelvorDlg::StartPmsThread() {}
