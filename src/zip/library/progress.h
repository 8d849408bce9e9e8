// Progress reports to script callbacks.
#pragma once

#include <orvanel/plugin.h>

// Progress goes to the script in whole percent: a fraction times this.
constexpr double kPercent = 100;

// The progress reports of one zip.CloseArchive to the script function at
// stack index callback.
struct CloseProgress {
    ScriptState *L;
    const ObjectId *id;  // the id of the archive being closed
    int callback;        // stack index of the function
    int userdata;        // stack index of the userdata, 0 without one
    int reported;        // the last percent reported, -1 before the first
};

// Reports fraction (0 to 1) of the close to the script when its whole
// percent is above the last one reported: a close calls the script at most
// 101 times, and so stops its deflate workers as seldom. Errors of the
// script function do not stop the close.
void ReportCloseProgress(CloseProgress *progress, double fraction);

// Calls the function at stack index callback with a table {action, id,
// progress, userdata}; userdata is set only when userdata != 0 (its stack
// index). The host is told that a callback runs, and no deflate worker
// runs meanwhile. Returns 0 or the error code of the failed call.
int CallProgress(ScriptState *L, int callback, const char *action, const ObjectId &id, int progress, int userdata);
