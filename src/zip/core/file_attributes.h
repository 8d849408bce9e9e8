// What a replaced archive file keeps of the file it replaces.
#pragma once

// How keeping the old file's attributes ended.
enum class KeepResult {
    Kept,          // all this process may set
    OwnerRefused,  // the old owner is another user and this process may not give the file to them
    Failed,        // the mode or the access ACL could not be set (errno tells why)
};

// Gives the new file to what the old file from had: its owner (where this
// process may: root), else keeping just its group; its extended attributes
// (those this process may not set are skipped); its permission bits, never
// set-id bits and no group bits for a group it could not keep; and last its
// POSIX access ACL, or none where it had none (a folder's default ACL
// would otherwise widen access), set after the mode so that the ACL mask
// never becomes group bits. to must be this process's own new file.
KeepResult KeepAttributes(int from, int to);
