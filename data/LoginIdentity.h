#pragma once

#include <QString>

// The logged-in user's name as typed and role name; set once by the login, read by the main
// window and the user maintenance. They live in the data layer so that the windows below the
// shell can read them without depending on it.
extern QString LoginUser;
extern QString LoginRole;

// The two role names an account carries, as stored in UserData.Role.
inline const QString kOperatorRole = QStringLiteral("普通操作员");
inline const QString kAdministratorRole = QStringLiteral("系统管理员");

// Only this exact role text restricts anything: the ordinary operator sees only the own account
// and cannot back up or restore the database.
inline bool LoginIsOperator()
{
    return LoginRole == kOperatorRole;
}
