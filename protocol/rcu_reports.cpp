// The other room unit reports and answers (time, parameters, heartbeat,
// device table, ident, lock records, fan units, meters). Not handled yet:
// the datagram ends after the dispatcher's own work.
#include "console/kelvor_dlg.h"

void CKelvorDlg::OnRcuOtherReport(int64_t, CRoom *, int) {}
