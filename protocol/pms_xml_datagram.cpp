// With PMS type 1 (foxhis) a datagram may be an XML command rather than a
// binary frame.
#include "console/kelvor_dlg.h"

bool CKelvorDlg::TryPmsXmlDatagram(int)
{
    return false;
}
