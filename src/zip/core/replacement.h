// The new version of an archive file: written beside the archive, put in
// its place only when complete.
//
// It is made without a name (O_TMPFILE), so that a writer killed before
// its commit leaves nothing behind. Only where the file system cannot make
// such files, or /proc (through which one is named) is missing, does it get
// a name of its own, ".<archive>.orp-new-XXXXXX",
// which no other program uses; the next writer holding the archive's lock
// removes such names (RemoveLeftovers).
#pragma once

#include <limits.h>

// One replacement file being written.
struct Replacement {
    int descriptor = -1;  // the file, or -1 when none is open
    bool named = false;   // it has the name below (no O_TMPFILE here)
    char name[PATH_MAX];  // its name, while named
};

// Makes the replacement of the archive at path in its folder, with mode
// (the umask and the folder's default ACL apply). False with errno set.
bool CreateReplacement(const char *path, unsigned mode, Replacement *replacement);

// The same with a distinctive name, as where O_TMPFILE is unsupported.
bool CreateNamedReplacement(const char *path, unsigned mode, Replacement *replacement);

// Puts the written replacement in place of path: over the archive when
// replace, else only where nothing is (EEXIST when something came). The
// file is closed either way; a file that did not land is removed. False
// with errno set.
bool CommitReplacement(Replacement *replacement, const char *path, bool replace);

// Closes and removes a replacement that is not to land; errno stays as it
// was, so that callers can still report why it is not to land.
void DiscardReplacement(Replacement *replacement);

// Removes the replacement files that killed writers of the archive at path
// left in its folder; only while holding the archive's lock, which no live
// writer can hold at the same time. Nothing where the folder cannot be listed.
void RemoveLeftovers(const char *path);
