// What the extraction references share: the loop over every entry of an
// archive, folders for directory entries, one output file per entry, and
// the peak resident set printed at the end. Each reference gives only how
// an entry's data reaches its open output file.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>

// Writes the data of the entry described by stat to out; false on any failure.
using EntryExtractor = bool (*)(zip_t *archive, const zip_stat_t &stat, int out);

// Extracts entry index below outdir; directory entries become folders.
inline bool ExtractEntry(zip_t *archive, zip_uint64_t index, const std::string &outdir, EntryExtractor extract) {
    zip_stat_t stat;
    if (zip_stat_index(archive, index, 0, &stat) != 0) return false;
    std::string path = outdir + "/" + stat.name;
    if (path.back() == '/') return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
    int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return false;
    bool ok = extract(archive, stat, out);
    return close(out) == 0 && ok;
}

// The process's peak resident set in KiB, from /proc.
inline long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// main() of a reference: ARCHIVE.zip OUTDIR; exit 0 and the peak resident
// set on stdout when every entry was extracted.
inline int RunExtraction(int argc, char **argv, EntryExtractor extract) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE.zip OUTDIR\n", argv[0]);
        return 2;
    }
    zip_t *archive = zip_open(argv[1], ZIP_RDONLY, nullptr);
    if (archive == nullptr) return 1;
    zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; i++) {
        if (!ExtractEntry(archive, static_cast<zip_uint64_t>(i), argv[2], extract)) {
            std::fprintf(stderr, "%s: entry %lld failed\n", argv[0], static_cast<long long>(i));
            return 1;
        }
    }
    zip_discard(archive);
    std::printf("%ld\n", PeakResidentKiB());
    return 0;
}
