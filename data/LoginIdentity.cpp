#include "data/LoginIdentity.h"

QString LoginUser;
QString LoginRole;
