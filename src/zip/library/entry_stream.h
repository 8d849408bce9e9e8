// Reading an entry to its very end, where libzip checks its integrity.
#pragma once

#include <zip.h>

// libzip checks an entry's CRC (and an AES entry's authentication code) only
// when a read reaches the end of its stream. Reads once more after the last
// byte: true when the stream ends cleanly there, false when it fails or has
// more data. AES entries whose stored CRC is 0 (AE-2) carry no CRC; this
// libzip would still compare against the 0, so those are not checked here.
bool EntryEndsCleanly(zip_file_t *file, const zip_stat_t &stat);
