// Raw deflate streams read as the data of a deflated entry through the
// module's entry reader, against zlib: where zlib inflates a stream, the
// reader gives the same bytes; where zlib rejects it (or it ends early),
// the reader fails, even when the entry claims exactly the size and CRC of
// what zlib got before failing. One difference is allowed: ISA-L decodes
// blocks whose Huffman code set zlib finds incomplete or over-subscribed
// (zlib: "invalid ... set"); the reader may then deliver, but only exactly
// zlib's bytes, so no byte zlib would not give is ever delivered as good.
#include <zip.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/entry_reader.h"
#include "fuzz_host.h"

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

void Put(std::string *out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) out->push_back(static_cast<char>(value >> (8 * i)));
}

// An archive with one deflated entry "e" holding data, claiming size and crc.
std::string Archive(const uint8_t *data, size_t length, uint32_t size, uint32_t crc) {
    auto header = [&](std::string *out, uint32_t signature, bool central) {
        Put(out, signature, 4);
        if (central) Put(out, 20, 2);
        for (uint32_t field : {20u, 0u, 8u, 0u, 0x21u}) Put(out, field, 2);
        Put(out, crc, 4), Put(out, static_cast<uint32_t>(length), 4), Put(out, size, 4);
        Put(out, 1, 2), Put(out, 0, 2);
        if (central) Put(out, 0, 2), Put(out, 0, 2), Put(out, 0, 2), Put(out, 0, 4), Put(out, 0, 4);
        out->push_back('e');
    };
    std::string zip;
    header(&zip, 0x04034b50, false);
    zip.append(reinterpret_cast<const char *>(data), length);
    uint32_t directory = static_cast<uint32_t>(zip.size());
    header(&zip, 0x02014b50, true);
    uint32_t directorySize = static_cast<uint32_t>(zip.size()) - directory;
    Put(&zip, 0x06054b50, 4), Put(&zip, 0, 4), Put(&zip, 1, 2), Put(&zip, 1, 2);
    Put(&zip, directorySize, 4), Put(&zip, directory, 4), Put(&zip, 0, 2);
    return zip;
}

// The entry read to its end through the reader in chunks of odd sizes;
// false when any read fails.
bool ReadWithReader(const std::string &archiveBytes, size_t size, std::string *out) {
    zip_source_t *source = zip_source_buffer_create(archiveBytes.data(), archiveBytes.size(), 0, nullptr);
    zip_t *archive = zip_open_from_source(source, ZIP_RDONLY, nullptr);
    if (!archive) {
        fprintf(stderr, "the wrapping archive does not open\n");
        abort();
    }
    bool noMemory = false;
    EntryReader *reader = OpenEntryReader(archive, 0, nullptr, &noMemory);
    bool ok = reader != nullptr;
    static char chunk[40000];
    do {
        size_t count = size - out->size() < sizeof chunk ? size - out->size() : sizeof chunk;
        ok = ok && ReadEntry(reader, chunk, count);
        if (ok) out->append(chunk, count);
    } while (ok && out->size() < size);
    CloseEntryReader(reader);
    zip_discard(archive);
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzhost::Start();
    Inflated expected = InflateWithZlib(data, size);
    if (expected.bytes.size() > kMaxOutput) return 0;
    uint32_t crc = static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef *>(expected.bytes.data()), expected.bytes.size()));
    std::string got;
    bool read = ReadWithReader(Archive(data, size, static_cast<uint32_t>(expected.bytes.size()), crc),
                               expected.bytes.size(), &got);
    bool allowed = read == expected.complete || (read && expected.badCodeSet);
    if (!allowed || (read && got != expected.bytes)) {
        fprintf(stderr, "zlib %s (%zu bytes), the reader %s (%zu bytes%s)\n", expected.complete ? "inflates" : "rejects",
                expected.bytes.size(), read ? "delivers" : "fails", got.size(),
                read && got != expected.bytes ? ", different" : "");
        abort();
    }
    fuzzhost::CheckNothingLeft("inflate");
    return 0;
}
