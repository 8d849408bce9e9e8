// The reference for the extraction benchmark: every entry of an archive
// extracted with a plain libzip loop (zip_fopen_index, 64 KiB zip_fread,
// write), the way a careful C program would do it.
//
//   extract_libzip ARCHIVE.zip OUTDIR
//
// Prints the peak resident set in KiB. The caller times the whole process,
// as it times orhost and unzip.
#include "extract_driver.h"

namespace {

constexpr zip_uint64_t kChunkSize = 65536;

// Copies the entry through zip_fread in 64 KiB chunks; false on any failure.
bool ExtractData(zip_t *archive, const zip_stat_t &stat, int out) {
    static char buffer[kChunkSize];
    zip_file_t *entry = zip_fopen_index(archive, stat.index, 0);
    if (entry == nullptr) return false;
    bool ok = true;
    for (zip_uint64_t done = 0; ok && done < stat.size;) {
        zip_uint64_t chunk = stat.size - done < kChunkSize ? stat.size - done : kChunkSize;
        zip_int64_t n = zip_fread(entry, buffer, chunk);
        ok = n == static_cast<zip_int64_t>(chunk) && write(out, buffer, chunk) == static_cast<ssize_t>(chunk);
        done += chunk;
    }
    return zip_fclose(entry) == 0 && ok;
}

}  // namespace

int main(int argc, char **argv) { return RunExtraction(argc, argv, ExtractData); }
