#pragma once

#include <QString>

// The logged-in user's name as typed and role name; set once by the login, read by the main
// window and the user maintenance. They live in the data layer so that the windows below the
// shell can read them without depending on it.
extern QString LoginUser;
extern QString LoginRole;
