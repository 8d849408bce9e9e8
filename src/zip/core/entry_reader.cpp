// Reading one entry's data. Deflated entries come from libzip as raw
// deflate data (decrypted, and for AES entries authenticated at the end of
// the stream) and are inflated and checked here; other entries come
// through libzip's own layers, which check the CRC at the stream's end.
// AE-2 entries store 0 instead of a CRC: for those the authentication code
// is the check, done by libzip for deflated data and here for the rest.
#include "core/entry_reader.h"

#include <cstring>

#include "core/aes_code.h"
#include "core/inflater.h"
#include "host.h"

// One open entry.
struct EntryReader {
    zip_t *archive;           // the archive, not owned
    zip_stat_t stat;          // the entry as stored (pending changes left out)
    zip_file_t *stream;       // libzip's stream: raw deflate data when inflating
    Inflater *inflater;       // when inflating: the decoder, taken at the first read
    uint8_t *input;           // input or scratch buffer in host memory, taken when first needed
    size_t inputSize;         // its size
    const uint8_t *pending;   // bytes in input not yet decoded or handed out
    size_t pendingLeft;       // their count
    zip_uint64_t delivered;   // bytes handed out
    uint32_t crc;             // CRC-32 of the bytes handed out, when inflating
    bool inflating;           // the entry is deflated and inflated here
    bool compareCrc;          // inflating, and the entry has a CRC to compare
    bool authenticate;        // not inflating, AE-2: the code is checked here
    bool inputEnded;          // libzip reported the end of the raw data
    bool deflateEnded;        // the decoder saw the end of the deflate data
    bool checked;             // the end was reached and found intact
    bool failed;              // a read failed; every later one fails too
    bool noMemory;            // the failure was a failed host allocation
    char *password;           // copy of the password (after the record), or NULL
};

namespace {

constexpr size_t kInputBufferSize = 1024 * 1024;
constexpr size_t kMinInputBufferSize = 64;
// Reads of at least this size skip the input buffer: copying would cost
// more than the call saves.
constexpr zip_uint64_t kDirectReadSize = 65536;

// AES entries written as AE-2 store 0 as CRC (and libzip treats the CRC of
// short ones as absent): their authentication code is their only check.
bool HasNoCrc(const zip_stat_t &stat) {
    return AesKeySize(stat.encryption_method) != 0 && (!(stat.valid & ZIP_STAT_CRC) || stat.crc == 0);
}

// Chooses how the entry is read and checked.
void ChooseRoute(EntryReader *reader) {
    const zip_stat_t &stat = reader->stat;
    reader->inflating = stat.comp_method == ZIP_CM_DEFLATE && (stat.valid & ZIP_STAT_COMP_SIZE);
    reader->compareCrc = reader->inflating && (stat.valid & ZIP_STAT_CRC) && !HasNoCrc(stat);
    reader->authenticate = !reader->inflating && HasNoCrc(stat);
}

// The reader record with a copy of password behind it; NULL without memory.
EntryReader *AllocateReader(const char *password) {
    size_t extra = password ? std::strlen(password) + 1 : 0;
    auto *reader = static_cast<EntryReader *>(host::AllocMemory(sizeof(EntryReader) + extra, true, "zipread"));
    if (reader && password) {
        reader->password = reinterpret_cast<char *>(reader + 1);
        std::memcpy(reader->password, password, extra);
    }
    return reader;
}

// Takes the input buffer when first needed: as large as the data read
// through it (raw data when inflating, else the entry's bytes), at most
// kInputBufferSize, so that libzip is read in large parts and a small entry
// costs little.
bool EnsureInput(EntryReader *reader) {
    if (reader->input) return true;
    zip_uint64_t size = reader->inflating ? reader->stat.comp_size : reader->stat.size;
    if (size > kInputBufferSize) size = kInputBufferSize;
    if (size < kMinInputBufferSize) size = kMinInputBufferSize;
    reader->input = static_cast<uint8_t *>(host::AllocMemory(static_cast<size_t>(size), false, "zipinput"));
    reader->inputSize = static_cast<size_t>(size);
    reader->noMemory = !reader->input;
    return reader->input != nullptr;
}

// Fetches the next raw data from libzip into the input buffer; a read of 0
// marks the end of the raw data, where libzip checks an AES code.
bool Refill(EntryReader *reader, InflateBuffers *buffers) {
    zip_int64_t got = zip_fread(reader->stream, reader->input, reader->inputSize);
    if (got < 0) return false;
    reader->inputEnded = got == 0;
    buffers->input = reader->input;
    buffers->inputLeft = static_cast<size_t>(got);
    return true;
}

// Inflates into out until count bytes came out or the deflate data ended;
// *produced tells how many came. False on corrupt or cut data.
bool Decode(EntryReader *reader, uint8_t *out, size_t count, size_t *produced) {
    InflateBuffers buffers{reader->pending, reader->pendingLeft, out, count};
    bool ok = true;
    while (ok && buffers.outputLeft > 0 && !reader->deflateEnded) {
        if (buffers.inputLeft == 0 && !reader->inputEnded && !Refill(reader, &buffers)) {
            ok = false;
            break;
        }
        size_t inputBefore = buffers.inputLeft, outputBefore = buffers.outputLeft;
        InflateStatus status = Inflate(reader->inflater, &buffers);
        bool stuck = buffers.inputLeft == inputBefore && buffers.outputLeft == outputBefore &&
                     (buffers.inputLeft > 0 || reader->inputEnded);
        reader->deflateEnded = status == InflateStatus::End;
        ok = status == InflateStatus::End || (status == InflateStatus::More && !stuck);
    }
    reader->pending = buffers.input;
    reader->pendingLeft = buffers.inputLeft;
    *produced = count - buffers.outputLeft;
    return ok;
}

// Inflates exactly count bytes into buffer and adds them to the CRC.
bool ReadInflated(EntryReader *reader, uint8_t *buffer, size_t count) {
    if (!EnsureInput(reader)) return false;
    if (!reader->inflater && !(reader->inflater = CreateInflater())) {
        reader->noMemory = true;
        return false;
    }
    size_t produced = 0;
    if (!Decode(reader, buffer, count, &produced) || produced != count) return false;
    if (count > 0) reader->crc = UpdateCrc32(reader->crc, buffer, count);
    return true;
}

// Reads exactly count bytes through libzip's own layers: a large read goes
// straight into buffer, small ones are served from large reads into the
// input buffer (never past the entry's size).
bool ReadThrough(EntryReader *reader, uint8_t *buffer, zip_uint64_t count) {
    zip_uint64_t fetched = reader->delivered + reader->pendingLeft;
    if (reader->pendingLeft == 0 && count >= kDirectReadSize) {
        return zip_fread(reader->stream, buffer, count) == static_cast<zip_int64_t>(count);
    }
    while (count > 0) {
        if (reader->pendingLeft == 0) {
            if (!EnsureInput(reader)) return false;
            zip_uint64_t want = reader->stat.size - fetched < reader->inputSize ? reader->stat.size - fetched : reader->inputSize;
            if (zip_fread(reader->stream, reader->input, want) != static_cast<zip_int64_t>(want)) return false;
            reader->pending = reader->input;
            reader->pendingLeft = static_cast<size_t>(want);
            fetched += want;
        }
        size_t part = count < reader->pendingLeft ? static_cast<size_t>(count) : reader->pendingLeft;
        std::memcpy(buffer, reader->pending, part);
        buffer += part;
        count -= part;
        reader->pending += part;
        reader->pendingLeft -= part;
    }
    return true;
}

// The deflate data must end right after the entry's size, and the raw data
// right after it (bytes past the deflate data are dropped, as libzip does);
// the read that reports the raw data's end is where libzip checks an AES
// entry's code.
bool InflatedEndIsIntact(EntryReader *reader) {
    uint8_t extra;
    size_t produced = 0;
    if (!Decode(reader, &extra, 1, &produced) || produced != 0 || !reader->deflateEnded) return false;
    InflateBuffers rest{};
    while (!reader->inputEnded) {
        if (!Refill(reader, &rest)) return false;
    }
    return !reader->compareCrc || reader->crc == reader->stat.crc;
}

// Checks the end of the entry once all its bytes were read.
bool EndIsIntact(EntryReader *reader) {
    if (reader->inflating) return InflatedEndIsIntact(reader);
    if (reader->authenticate) {
        return EnsureInput(reader) &&
               AesCodeMatches(reader->archive, reader->stat, reader->password, reader->input, reader->inputSize);
    }
    // libzip compares the CRC when the stream reports its end.
    char probe;
    return zip_fread(reader->stream, &probe, 1) == 0;
}

}  // namespace

EntryReader *OpenEntryReader(zip_t *archive, zip_uint64_t index, const char *password, bool *noMemory) {
    *noMemory = false;
    zip_stat_t stat;
    if (zip_stat_index(archive, index, ZIP_FL_UNCHANGED, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) return nullptr;
    EntryReader *reader = AllocateReader(password);
    if (!reader) {
        *noMemory = true;
        return nullptr;
    }
    reader->archive = archive;
    reader->stat = stat;
    ChooseRoute(reader);
    reader->stream = zip_fopen_index_encrypted(archive, index, reader->inflating ? ZIP_FL_COMPRESSED : 0, password);
    if (!reader->stream) {
        CloseEntryReader(reader);
        return nullptr;
    }
    return reader;
}

void CloseEntryReader(EntryReader *reader) {
    if (!reader) return;
    if (reader->stream) zip_fclose(reader->stream);
    DestroyInflater(reader->inflater);
    if (reader->input) host::FreeMemory(reader->input);
    host::FreeMemory(reader);
}

bool ReadEntry(EntryReader *reader, void *buffer, zip_uint64_t count) {
    if (reader->failed || count > reader->stat.size - reader->delivered) {
        reader->failed = true;
        return false;
    }
    bool ok = reader->inflating ? ReadInflated(reader, static_cast<uint8_t *>(buffer), static_cast<size_t>(count))
                                : ReadThrough(reader, static_cast<uint8_t *>(buffer), count);
    if (ok) reader->delivered += count;
    if (ok && reader->delivered == reader->stat.size && !reader->checked) ok = reader->checked = EndIsIntact(reader);
    reader->failed = !ok;
    return ok;
}

zip_uint64_t EntryBytesRead(const EntryReader *reader) { return reader->delivered; }

ReadFailure EntryReadFailure(const EntryReader *reader) {
    if (!reader->failed) return ReadFailure::None;
    return reader->noMemory ? ReadFailure::Memory : ReadFailure::Damaged;
}
