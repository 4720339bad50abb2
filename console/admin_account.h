#pragma once
// The system's own administrator account: user "admin" of user_password with
// every right, created when missing.
#include <string_view>

class CADODatabase;

// Sets the password (GBK, as typed) of "admin" and grants all twelve rights;
// creates the account when it is missing. Tells the operator "密码更改成功" or
// "管理员用户创建成功" once the change is committed; nothing when the statement
// failed, and when the commit failed only the event log's line of the loss.
void SetAdminPassword(CADODatabase &db, std::string_view password);
