// Copying the start of one file into another.
#pragma once

#include <cstdint>

// Copies bytes 0 to length of from into the same places of to, with
// copy_file_range(2): the file system shares the blocks where it can and
// the kernel copies them where it cannot. Where the kernel refuses the
// call for these files, copies through memory instead. Each piece is sent
// on to the disk as the copy goes, for the sync that follows. The file
// positions are left alone. False on a read or write error, or when from is shorter.
bool CopyFileStart(int from, int to, uint64_t length);

// The same copy through memory, from offset done on.
bool CopyFileStartThroughMemory(int from, int to, uint64_t done, uint64_t length);
