// The room monitor, run from the idle hook while the database is open. It has
// nothing to do yet.
#include "console/kelvor_dlg.h"

void CKelvorDlg::ScanRooms() {}
