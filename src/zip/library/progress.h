// Progress reports to script callbacks.
#pragma once

#include <orvanel/plugin.h>

// Progress goes to the script in whole percent: a fraction times this.
constexpr double kPercent = 100;

// Calls the function at stack index callback with a table {action, id,
// progress, userdata}; userdata is set only when userdata != 0 (its stack
// index). The host is told that a callback runs, and no deflate worker
// runs meanwhile. Returns 0 or the error code of the failed call.
int CallProgress(ScriptState *L, int callback, const char *action, const ObjectId &id, int progress, int userdata);
