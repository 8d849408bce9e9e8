// A hand-built archive with one deflated entry, read through the module's
// entry reader; shared by the inflate fuzz target and the entry reader's
// unit test, which vary the data and the size and CRC the entry claims.
#pragma once

#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/entry_reader.h"

namespace oneentry {

inline void Put(std::string *out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) out->push_back(static_cast<char>(value >> (8 * i)));
}

// An archive with one entry "e" holding data, claiming size and crc, by
// default deflated (method 8).
inline std::string Archive(const void *data, size_t length, uint32_t size, uint32_t crc, uint32_t method = 8) {
    auto header = [&](std::string *out, uint32_t signature, bool central) {
        Put(out, signature, 4);
        if (central) Put(out, 20, 2);
        for (uint32_t field : {20u, 0u, method, 0u, 0x21u}) Put(out, field, 2);
        Put(out, crc, 4), Put(out, static_cast<uint32_t>(length), 4), Put(out, size, 4);
        Put(out, 1, 2), Put(out, 0, 2);
        if (central) Put(out, 0, 2), Put(out, 0, 2), Put(out, 0, 2), Put(out, 0, 4), Put(out, 0, 4);
        out->push_back('e');
    };
    std::string zip;
    header(&zip, 0x04034b50, false);
    zip.append(static_cast<const char *>(data), length);
    uint32_t directory = static_cast<uint32_t>(zip.size());
    header(&zip, 0x02014b50, true);
    uint32_t directorySize = static_cast<uint32_t>(zip.size()) - directory;
    Put(&zip, 0x06054b50, 4), Put(&zip, 0, 4), Put(&zip, 1, 2), Put(&zip, 1, 2);
    Put(&zip, directorySize, 4), Put(&zip, directory, 4), Put(&zip, 0, 2);
    return zip;
}

// Opens the archive in archiveBytes (which must outlive it); aborts when it
// does not open.
inline zip_t *Open(const std::string &archiveBytes) {
    zip_source_t *source = zip_source_buffer_create(archiveBytes.data(), archiveBytes.size(), 0, nullptr);
    zip_t *archive = zip_open_from_source(source, ZIP_RDONLY, nullptr);
    if (!archive) {
        std::fprintf(stderr, "the wrapping archive does not open\n");
        std::abort();
    }
    return archive;
}

// Reads the entry's size bytes through the reader in chunks of chunk bytes
// into out; false when any read fails.
inline bool Read(const std::string &archiveBytes, size_t size, size_t chunk, std::string *out) {
    zip_t *archive = Open(archiveBytes);
    bool noMemory = false;
    EntryReader *reader = OpenEntryReader(archive, 0, nullptr, &noMemory);
    bool ok = reader != nullptr;
    std::string buffer(chunk, '\0');
    do {
        size_t count = size - out->size() < chunk ? size - out->size() : chunk;
        ok = ok && ReadEntry(reader, buffer.data(), count);
        if (ok) out->append(buffer, 0, count);
    } while (ok && out->size() < size);
    CloseEntryReader(reader);
    zip_discard(archive);
    return ok;
}

// Moves the reader to at and reads count bytes there; true when they are
// expected's bytes from at, or, with no expected, whatever they are.
inline bool ReadAt(EntryReader *reader, const std::string *expected, size_t at, size_t count) {
    std::string got(count, '\0');
    return SeekEntry(reader, at) && ReadEntry(reader, got.data(), count) &&
           (expected == nullptr || expected->compare(at, count, got) == 0);
}

}  // namespace oneentry
