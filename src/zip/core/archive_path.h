// The file an archive path really names, through symbolic links.
#pragma once

#include <cstddef>

// Writes into resolved (size bytes) the path of the file that path names
// once its last component's symbolic links are followed (a relative link
// against its own folder, chains too), so that a write changes the link's
// target and the link stays a link. A link is followed only where the
// kernel's fs.protected_symlinks would follow it: in a sticky folder that
// others may write (/tmp), only a link of the folder's owner or of this
// process's user, so that a script run as root cannot be steered into
// replacing another file. A path that names nothing is its own result (a
// new archive). False, with errno set, for a dangling link (ENOENT), a
// loop (ELOOP), a link not followed (EACCES) or a result that does not fit.
bool ResolveArchivePath(const char *path, char *resolved, size_t size);
