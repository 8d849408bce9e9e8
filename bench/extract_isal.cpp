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
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <vector>

#include "extract_driver.h"

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

// Deflated entries through ISA-L, any other through libzip.
bool ExtractData(zip_t *archive, const zip_stat_t &stat, int out) {
    return stat.comp_method == ZIP_CM_DEFLATE ? InflateEntry(archive, stat, out) : CopyEntry(archive, stat, out);
}

}  // namespace

int main(int argc, char **argv) { return RunExtraction(argc, argv, ExtractData); }
