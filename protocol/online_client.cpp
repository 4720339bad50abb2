// Workstation requests and the online clients. Not handled yet: an accepted
// request ends after it has been counted, and there are no online clients to
// expire or free.
#include "console/kelvor_dlg.h"

void CKelvorDlg::OnClientRequest(int64_t) {}
void CKelvorDlg::ExpireOnlineClients(int64_t) {}
void CKelvorDlg::FreeOnlineClients() {}
