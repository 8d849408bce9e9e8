// Reading an entry to its very end, where libzip checks its integrity.
#include "library/entry_stream.h"

namespace {

// WinZip AES entries in the AE-2 format store 0 instead of a CRC.
bool HasNoCrc(const zip_stat_t &stat) {
    if (!(stat.valid & ZIP_STAT_ENCRYPTION_METHOD) || !(stat.valid & ZIP_STAT_CRC)) return false;
    bool aes = stat.encryption_method == ZIP_EM_AES_128 || stat.encryption_method == ZIP_EM_AES_192 ||
               stat.encryption_method == ZIP_EM_AES_256;
    return aes && stat.crc == 0;
}

}  // namespace

bool EntryEndsCleanly(zip_file_t *file, const zip_stat_t &stat) {
    if (HasNoCrc(stat)) return true;
    char probe;
    return zip_fread(file, &probe, 1) == 0;
}
