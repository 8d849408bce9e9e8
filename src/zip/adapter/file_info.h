// Filling the host's description of a file or directory.
#pragma once

#include <zip.h>

#include <orvanel/plugin.h>

// Fills info for an entry. stat may be NULL (size 0, the current date). name
// NULL takes the stat's entry name; directory, when given, is joined in front
// of the name. With FSOBJ_FULLNAME in flags the name is a copy the host owns
// (tag "fullpath"), else it lies in a buffer of this file that the next call
// reuses. One trailing '/' is dropped. False when no name can be had or
// copied.
bool FillFSObjInfo(zip_t *archive, const zip_stat_t *stat, FSObjInfo *info, int flags, bool isFile,
                  const char *name, const char *directory);
