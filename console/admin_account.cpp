#include "console/admin_account.h"

#include "database/ado_recordset.h"
#include "database/sql_quote.h"
#include "platform/message_box.h"

#include <string>

void SetAdminPassword(CADODatabase &db, std::string_view password)
{
    const std::string quoted = database::SqlQuote(password);
    CADOMyRecordset rs(&db);
    const bool exists = rs.Exec("select * from user_password\r\nwhere\r\nUSER_NAME ='admin'\r\n") &&
                        rs.GetRecordCount() > 0;
    rs.Close();
    const char *done = nullptr;
    if (exists) {
        if (rs.Exec("update user_password set\r\nPASSWORD ='" + quoted +
                    "', canschemeset=1, canctrlroomfengji=1, canlistmsg=1, canprint=1, canviewreport=1, "
                    "cansystemadmin=1, canviewroomstate=1, canviewrealstate=1, canctrlroomstate=1,  canuserman=1, "
                    "canviewlog=1, canviewfloor=1\r\nwhere user_name = 'admin'\r\n"))
            done = "密码更改成功";
    } else {
        if (rs.Exec("Insert into user_password(user_name, password, group_id, user_type, build_num, floor_num, "
                    "canschemeset, canctrlroomfengji, canlistmsg, canprint, canviewreport, cansystemadmin, "
                    "canviewroomstate, canviewrealstate, canctrlroomstate,  canuserman, canviewlog, canviewfloor)"
                    "\r\nvalues('admin','" + quoted + "',0, 0,0,0,1,1,1,1,1,1,1,1,1,1,1,1)\r\n"))
            done = "管理员用户创建成功";
    }
    // Told once committed: a lost batch takes the change with it, and the
    // event log tells the loss instead.
    if (done && db.CommitBatch())
        platform::MessageBox(done);
    rs.Close();
}
