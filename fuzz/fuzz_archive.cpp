// Archive bytes opened read-only through the module's host-file source; then
// every entry is listed, looked up by name, stat'ed and read to its end,
// the way zip.GetFileAtIndex, zip.LocateFile, zip.GetFileAttributes and
// zip.ExtractFile use them. Every input must release all host memory and
// close every host file.
#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz_host.h"
#include "core/dates.h"
#include "core/entry_reader.h"
#include "core/host_archive_source.h"
#include "library/archive.h"

namespace {

// Bounds that keep one input fast: archives may claim millions of entries or
// expand a few bytes into gigabytes.
constexpr zip_int64_t kMaxEntries = 2048;
constexpr zip_uint64_t kMaxBytesPerInput = 8u << 20;

// Reads one entry to its end through the module's entry reader (or to the
// input's byte budget); returns the bytes consumed.
zip_uint64_t ReadWholeEntry(zip_t *archive, zip_uint64_t index, const zip_stat_t &stat, zip_uint64_t budget) {
    bool noMemory = false;
    EntryReader *reader = OpenEntryReader(archive, index, nullptr, &noMemory);
    if (reader == nullptr || !(stat.valid & ZIP_STAT_SIZE)) {
        CloseEntryReader(reader);
        return 0;
    }
    static std::vector<char> buffer(65536);
    zip_uint64_t done = 0;
    do {
        zip_uint64_t chunk = std::min<zip_uint64_t>({stat.size - done, buffer.size(), budget - done});
        if (!ReadEntry(reader, buffer.data(), chunk)) break;
        done += chunk;
    } while (done < stat.size && done < budget);
    CloseEntryReader(reader);
    return done;
}

// Lists, finds, stats and reads every entry as the zip commands do.
void VisitEntries(zip_t *archive) {
    ArchiveObject object{};
    object.archive = archive;
    zip_int64_t count = zip_get_num_entries(archive, 0);
    zip_uint64_t budget = kMaxBytesPerInput;
    for (zip_int64_t i = 0; i < count && i < kMaxEntries; i++) {
        auto index = zip_uint64_t(i);
        const char *name = zip_get_name(archive, index, 0);
        if (name != nullptr) {
            LocateName(&object, name, ZIP_FL_NOCASE);
            LocateName(&object, name, ZIP_FL_NOCASE | ZIP_FL_NODIR);
        }
        zip_uint32_t commentLength = 0;
        zip_file_get_comment(archive, index, &commentLength, 0);
        zip_stat_t stat;
        if (zip_stat_index(archive, index, 0, &stat) != 0) continue;
        if (stat.valid & ZIP_STAT_MTIME) {
            char date[kDateStringSize];
            FormatDateString(stat.mtime, date);
        }
        budget -= ReadWholeEntry(archive, index, stat, budget);
    }
    int commentLength = 0;
    zip_get_archive_comment(archive, &commentLength, 0);
    DropNameLookups(&object.names);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzhost::Start();
    fuzzhost::ServeFile("fuzz.zip", data, size);
    zip_t *archive = OpenArchiveThroughHost("fuzz.zip", SourceMemory::Host);
    if (archive != nullptr) {
        VisitEntries(archive);
        zip_discard(archive);
    }
    fuzzhost::CheckNothingLeft("archive");
    return 0;
}
