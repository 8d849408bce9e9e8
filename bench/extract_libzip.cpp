// The reference for the extraction benchmark: every entry of an archive
// extracted with a plain libzip loop (zip_fopen_index, 64 KiB zip_fread,
// write), the way a careful C program would do it.
//
//   extract_libzip ARCHIVE.zip OUTDIR
//
// Prints the peak resident set in KiB. The caller times the whole process,
// as it times orhost and unzip.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr zip_uint64_t kChunkSize = 65536;

// Copies one open entry into the file at path; false on any failure.
bool CopyEntry(zip_file_t *entry, zip_uint64_t size, const std::string &path, char *buffer) {
    int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return false;
    bool ok = true;
    for (zip_uint64_t done = 0; ok && done < size;) {
        zip_uint64_t chunk = size - done < kChunkSize ? size - done : kChunkSize;
        zip_int64_t n = zip_fread(entry, buffer, chunk);
        ok = n == static_cast<zip_int64_t>(chunk) && write(out, buffer, chunk) == static_cast<ssize_t>(chunk);
        done += chunk;
    }
    return close(out) == 0 && ok;
}

// Extracts entry index below outdir; directory entries become folders.
bool ExtractEntry(zip_t *archive, zip_uint64_t index, const std::string &outdir, char *buffer) {
    zip_stat_t stat;
    if (zip_stat_index(archive, index, 0, &stat) != 0) return false;
    std::string path = outdir + "/" + stat.name;
    if (path.back() == '/') return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
    zip_file_t *entry = zip_fopen_index(archive, index, 0);
    if (entry == nullptr) return false;
    bool ok = CopyEntry(entry, stat.size, path, buffer);
    return zip_fclose(entry) == 0 && ok;
}

// The process's peak resident set in KiB, from /proc.
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE.zip OUTDIR\n", argv[0]);
        return 2;
    }
    static char buffer[kChunkSize];
    zip_t *archive = zip_open(argv[1], ZIP_RDONLY, nullptr);
    if (archive == nullptr) return 1;
    zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; i++) {
        if (!ExtractEntry(archive, static_cast<zip_uint64_t>(i), argv[2], buffer)) {
            std::fprintf(stderr, "%s: entry %lld failed\n", argv[0], static_cast<long long>(i));
            return 1;
        }
    }
    zip_discard(archive);
    std::printf("%ld\n", PeakResidentKiB());
    return 0;
}
