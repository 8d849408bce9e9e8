// The limit for the extraction benchmark: every entry of an archive
// extracted by a loop that takes deflated entries' raw data from libzip
// (ZIP_FL_COMPRESSED) in 1 MiB reads, inflates it with ISA-L, checks the CRC
// with ISA-L's crc32_gzip_refl and writes 64 KiB chunks; other entries go
// through a plain libzip loop. No checks beyond the CRC, nothing shared
// with the module.
//
//   extract_isal ARCHIVE.zip OUTDIR
//
// Prints the peak resident set in KiB; the caller times the process.
#include <fcntl.h>
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr size_t kChunkSize = 65536;
constexpr size_t kInputSize = 1 << 20;

// Inflates a deflated entry into out in 64 KiB chunks; false on any failure.
bool InflateEntry(zip_t *archive, const zip_stat_t &stat, int out) {
    zip_file_t *raw = zip_fopen_index(archive, stat.index, ZIP_FL_COMPRESSED);
    if (raw == nullptr) return false;
    static std::vector<uint8_t> input(kInputSize), output(kChunkSize);
    static inflate_state state;
    isal_inflate_init(&state);
    uint32_t crc = 0;
    bool ok = true, inputEnded = false;
    while (ok && state.block_state != ISAL_BLOCK_FINISH) {
        if (state.avail_in == 0 && !inputEnded) {
            zip_int64_t got = zip_fread(raw, input.data(), input.size());
            ok = got >= 0;
            inputEnded = got == 0;
            state.next_in = input.data();
            state.avail_in = static_cast<uint32_t>(got > 0 ? got : 0);
        }
        state.next_out = output.data();
        state.avail_out = kChunkSize;
        ok = ok && isal_inflate(&state) == ISAL_DECOMP_OK;
        size_t produced = kChunkSize - state.avail_out;
        crc = crc32_gzip_refl(crc, output.data(), produced);
        ok = ok && write(out, output.data(), produced) == static_cast<ssize_t>(produced);
        if (produced == 0 && inputEnded && state.avail_in == 0) break;
    }
    zip_fclose(raw);
    return ok && state.block_state == ISAL_BLOCK_FINISH && state.total_out == stat.size && crc == stat.crc;
}

// Copies any other entry through libzip; false on any failure.
bool CopyEntry(zip_t *archive, const zip_stat_t &stat, int out) {
    zip_file_t *entry = zip_fopen_index(archive, stat.index, 0);
    if (entry == nullptr) return false;
    static std::vector<char> buffer(kChunkSize);
    bool ok = true;
    for (zip_int64_t got; ok && (got = zip_fread(entry, buffer.data(), buffer.size())) != 0;)
        ok = got > 0 && write(out, buffer.data(), got) == got;
    return zip_fclose(entry) == 0 && ok;
}

// Extracts entry index below outdir; directory entries become folders.
bool ExtractEntry(zip_t *archive, zip_uint64_t index, const std::string &outdir) {
    zip_stat_t stat;
    if (zip_stat_index(archive, index, 0, &stat) != 0) return false;
    std::string path = outdir + "/" + stat.name;
    if (path.back() == '/') return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
    int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return false;
    bool ok = stat.comp_method == ZIP_CM_DEFLATE ? InflateEntry(archive, stat, out) : CopyEntry(archive, stat, out);
    return close(out) == 0 && ok;
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
    zip_t *archive = zip_open(argv[1], ZIP_RDONLY, nullptr);
    if (archive == nullptr) return 1;
    zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; i++) {
        if (!ExtractEntry(archive, static_cast<zip_uint64_t>(i), argv[2])) {
            std::fprintf(stderr, "%s: entry %lld failed\n", argv[0], static_cast<long long>(i));
            return 1;
        }
    }
    zip_discard(archive);
    std::printf("%ld\n", PeakResidentKiB());
    return 0;
}
