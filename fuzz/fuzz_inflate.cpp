// Raw deflate streams read as the data of a deflated entry through the
// module's entry reader, against zlib: where zlib inflates a stream, the
// reader gives the same bytes; where zlib rejects it (or it ends early),
// the reader fails, even when the entry claims exactly the size and CRC of
// what zlib got before failing. One difference is allowed: ISA-L decodes
// blocks whose Huffman code set zlib finds incomplete or over-subscribed
// (zlib: "invalid ... set"); the reader may then deliver, but only exactly
// zlib's bytes, so no byte zlib would not give is ever delivered as good.
// A stream the reader delivers is read again at positions spread over it,
// by a reader that moves forward (recording restart points) and one that
// jumps back and forth from them: each gives the same bytes, and the read
// reaching the end still succeeds.
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/restart_points.h"
#include "fuzz_host.h"
#include "one_entry_archive.h"

namespace {

// Streams that inflate to more than this are skipped: one input stays fast.
constexpr size_t kMaxOutput = 4u << 20;

// zlib's view of a stream: its output (up to kMaxOutput) and whether it is
// a complete, valid stream.
struct Inflated {
    std::string bytes;
    bool complete;
    bool badCodeSet;  // rejected for an incomplete or over-subscribed code set
};

Inflated InflateWithZlib(const uint8_t *data, size_t size) {
    z_stream stream{};
    inflateInit2(&stream, -MAX_WBITS);
    stream.next_in = const_cast<Bytef *>(data);
    stream.avail_in = static_cast<uInt>(size);
    Inflated out{std::string(), false, false};
    char chunk[65536];
    int result = Z_OK;
    while (result == Z_OK && out.bytes.size() <= kMaxOutput) {
        stream.next_out = reinterpret_cast<Bytef *>(chunk);
        stream.avail_out = sizeof chunk;
        result = inflate(&stream, Z_NO_FLUSH);
        out.bytes.append(chunk, sizeof chunk - stream.avail_out);
    }
    out.complete = result == Z_STREAM_END;
    out.badCodeSet = result == Z_DATA_ERROR && stream.msg && std::strstr(stream.msg, " set");
    inflateEnd(&stream);
    return out;
}

// Reads the entry at eight positions, forward in the first pass and in
// jumps in the second (with the points of the first), then its last bytes.
void CheckRestarts(const std::string &archiveBytes, const std::string &expected) {
    zip_t *archive = oneentry::Open(archiveBytes);
    RestartPoints *points = CreateRestartPoints(expected.size());
    const size_t size = expected.size();
    for (int pass = 0; pass < 2; pass++) {
        bool noMemory = false, ok = true;
        EntryReader *reader = OpenEntryReader(archive, 0, nullptr, &noMemory);
        ShareRestartPoints(reader, points);
        for (size_t k = 0; ok && k < 8; k++) {
            size_t at = size / 8 * (pass == 0 ? k : (k * 5 + 3) % 8);
            ok = oneentry::ReadAt(reader, &expected, at, size - at < 4096 ? size - at : 4096);
        }
        size_t tail = size < 100 ? size : 100;
        if (!ok || !oneentry::ReadAt(reader, &expected, size - tail, tail)) {
            fprintf(stderr, "reading at positions fails or differs (pass %d, %zu restart points)\n", pass,
                    points ? RestartPointCount(points) : 0);
            abort();
        }
        CloseEntryReader(reader);
    }
    ReleaseRestartPoints(points);
    zip_discard(archive);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzhost::Start();
    Inflated expected = InflateWithZlib(data, size);
    if (expected.bytes.size() > kMaxOutput) return 0;
    uint32_t crc = static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef *>(expected.bytes.data()), expected.bytes.size()));
    std::string got;
    const std::string archive = oneentry::Archive(data, size, static_cast<uint32_t>(expected.bytes.size()), crc);
    bool read = oneentry::Read(archive, expected.bytes.size(), 40000, &got);
    bool allowed = read == expected.complete || (read && expected.badCodeSet);
    if (!allowed || (read && got != expected.bytes)) {
        fprintf(stderr, "zlib %s (%zu bytes), the reader %s (%zu bytes%s)\n", expected.complete ? "inflates" : "rejects",
                expected.bytes.size(), read ? "delivers" : "fails", got.size(),
                read && got != expected.bytes ? ", different" : "");
        abort();
    }
    if (read) CheckRestarts(archive, got);
    fuzzhost::CheckNothingLeft("inflate");
    return 0;
}
