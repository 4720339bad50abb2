// Room commands of the workstations. Not handled yet: a command is counted
// and then dropped.
#include "console/kelvor_dlg.h"

void CKelvorDlg::OnClientRoomCommand(int64_t) {}
