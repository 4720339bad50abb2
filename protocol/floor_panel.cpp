// Call masks of the floor call panels. Not handled yet: the datagram ends
// after the dispatcher's checks.
#include "console/kelvor_dlg.h"

void CKelvorDlg::OnPanelCallMask(int64_t, int, int, int, int) {}
