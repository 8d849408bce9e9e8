// Reading one entry's data. Deflated entries come from libzip as raw
// deflate data (decrypted, and for AES entries authenticated at the end of
// the stream) and are inflated and checked here; stored entries without
// encryption come as raw data and are checked here too; other entries come
// through libzip's own layers, which check the CRC at the stream's end.
// AE-2 entries store 0 instead of a CRC: for those the authentication code
// is the check, done by libzip for deflated data and here for the rest.
//
// Entries without encryption can be read at any position. Stored data is
// simply sought. Deflated data is inflated into a history of recent output
// once the reader has moved; on the way it records restart points (see
// core/restart_points.h), from which a later move goes on. A reader that
// never moves inflates straight into the caller's buffer and records
// nothing, so reading in order costs what it did.
#include "core/entry_reader.h"

#include <cstring>

#include "core/aes_code.h"
#include "core/inflater.h"
#include "core/restart_points.h"
#include "host.h"

// How an entry's data reaches the reader.
enum class Route {
    Inflate,  // raw deflate data, inflated here
    Raw,      // stored data without encryption, read raw and checked here
    Libzip,   // through libzip's own layers
};

// One open entry.
struct EntryReader {
    zip_t *archive;             // the archive, not owned
    zip_stat_t stat;            // the entry as stored (pending changes left out)
    zip_file_t *stream;         // libzip's stream: raw data on the Inflate and Raw routes
    Route route;                // how the data comes
    Inflater *inflater;         // when inflating: the decoder, taken at the first read
    uint8_t *input;             // input or scratch buffer in host memory, taken when first needed
    size_t inputSize;           // its size
    size_t inputFilled;         // bytes the last fill put in input
    size_t fillSize;            // what the next fill asks for: less after a move
    zip_uint64_t streamOffset;  // where the stream stands: the byte after the last fill
    const uint8_t *pending;     // bytes in input not yet decoded or handed out
    size_t pendingLeft;         // their count
    zip_uint64_t delivered;     // the position: bytes before the next one handed out
    uint32_t crc;               // CRC-32 of the entry's first crcEnd bytes
    zip_uint64_t crcEnd;        // how far crc reaches
    bool compareCrc;            // the entry has a CRC to compare here
    bool authenticate;          // Libzip route, AE-2: the code is checked here
    bool inputEnded;            // libzip reported the end of the raw data
    bool deflateEnded;          // the decoder saw the end of the deflate data
    bool checked;               // the end was reached and found intact
    bool failed;                // a read failed; every later one fails too
    bool noMemory;              // the failure was a failed host allocation
    bool moved;                 // inflating: the reader has moved, output goes through history
    uint8_t *history;           // when moved: recent output (host memory)
    zip_uint64_t historyStart;  // the position of history[0]
    size_t historyLength;       // valid bytes in history; the decoder stands after them
    RestartPoints *points;      // when moved: the entry's restart points, or NULL
    char *password;             // copy of the password (after the record), or NULL
};

namespace {

constexpr size_t kInputBufferSize = 1024 * 1024;
constexpr size_t kMinInputBufferSize = 64;
// Reads of at least this size skip the input buffer: copying would cost
// more than the call saves.
constexpr zip_uint64_t kDirectReadSize = 65536;
// After a move the input is filled in parts this large at first, doubling
// while reading goes on in order: a small read at a random position should
// not fetch a whole buffer.
constexpr size_t kMovedFillSize = 16384;
// The history: the window a restart point keeps, and room to inflate into.
constexpr size_t kHistorySize = kInflateWindowSize + 65536;
// While a point is wanted, the decoder gets its input in parts this small,
// so that one of its calls ends inside or at a block header.
constexpr size_t kHuntInput = 32;

// AES entries written as AE-2 store 0 as CRC (and libzip treats the CRC of
// short ones as absent): their authentication code is their only check.
bool HasNoCrc(const zip_stat_t &stat) {
    return AesKeySize(stat.encryption_method) != 0 && (!(stat.valid & ZIP_STAT_CRC) || stat.crc == 0);
}

// Chooses how the entry is read and checked.
void ChooseRoute(EntryReader *reader) {
    const zip_stat_t &stat = reader->stat;
    bool compSize = stat.valid & ZIP_STAT_COMP_SIZE;
    bool plain = (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method == ZIP_EM_NONE;
    if (stat.comp_method == ZIP_CM_DEFLATE && compSize) {
        reader->route = Route::Inflate;
    } else if (stat.comp_method == ZIP_CM_STORE && plain && compSize && stat.comp_size == stat.size) {
        reader->route = Route::Raw;
    } else {
        reader->route = Route::Libzip;
    }
    reader->compareCrc = (stat.valid & ZIP_STAT_CRC) && !HasNoCrc(stat);
    reader->authenticate = reader->route == Route::Libzip && HasNoCrc(stat);
    reader->fillSize = kInputBufferSize;
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
    zip_uint64_t size = reader->route == Route::Inflate ? reader->stat.comp_size : reader->stat.size;
    if (size > kInputBufferSize) size = kInputBufferSize;
    if (size < kMinInputBufferSize) size = kMinInputBufferSize;
    reader->input = static_cast<uint8_t *>(host::AllocMemory(static_cast<size_t>(size), false, "zipinput"));
    reader->inputSize = static_cast<size_t>(size);
    reader->noMemory = !reader->input;
    return reader->input != nullptr;
}

// The size of the next fill, at most limit; fills grow while reading goes
// on in order.
size_t NextFill(EntryReader *reader, zip_uint64_t limit) {
    size_t size = reader->fillSize < reader->inputSize ? reader->fillSize : reader->inputSize;
    if (limit < size) size = static_cast<size_t>(limit);
    if (reader->fillSize < reader->inputSize) reader->fillSize *= 2;
    return size;
}

// Reads count bytes of the stream into input (at most what the stream
// has); the bytes read, or -1.
zip_int64_t Fill(EntryReader *reader, size_t count) {
    zip_int64_t got = zip_fread(reader->stream, reader->input, count);
    if (got < 0) return -1;
    reader->inputFilled = static_cast<size_t>(got);
    reader->streamOffset += static_cast<zip_uint64_t>(got);
    return got;
}

// Fetches the next raw data from libzip into the input buffer; a read of 0
// marks the end of the raw data, where libzip checks an AES code.
bool Refill(EntryReader *reader, InflateBuffers *buffers) {
    zip_int64_t got = Fill(reader, NextFill(reader, reader->inputSize));
    if (got < 0) return false;
    reader->inputEnded = got == 0;
    buffers->input = reader->input;
    buffers->inputLeft = static_cast<size_t>(got);
    return true;
}

// Moves the stream to offset, dropping what the input buffer held.
bool SeekStream(EntryReader *reader, zip_uint64_t offset) {
    if (zip_fseek(reader->stream, static_cast<zip_int64_t>(offset), SEEK_SET) != 0) return false;
    reader->streamOffset = offset;
    reader->inputFilled = 0;
    reader->pending = reader->input;
    reader->pendingLeft = 0;
    reader->fillSize = kMovedFillSize;
    return true;
}

// Adds the bytes of the entry at [start, start + count) to the CRC where
// they continue it.
void AddToCrc(EntryReader *reader, const uint8_t *bytes, zip_uint64_t start, zip_uint64_t count) {
    if (start > reader->crcEnd || start + count <= reader->crcEnd) return;
    zip_uint64_t skip = reader->crcEnd - start;
    reader->crc = UpdateCrc32(reader->crc, bytes + skip, static_cast<size_t>(count - skip));
    reader->crcEnd = start + count;
}

// One decoder call on at most inputLimit bytes of buffers' input; false on
// corrupt or cut data.
bool DecodeStep(EntryReader *reader, InflateBuffers *buffers, size_t inputLimit) {
    if (buffers->inputLeft == 0 && !reader->inputEnded && !Refill(reader, buffers)) return false;
    InflateBuffers step = *buffers;
    if (step.inputLeft > inputLimit) step.inputLeft = inputLimit;
    size_t inputBefore = step.inputLeft, outputBefore = step.outputLeft;
    InflateStatus status = Inflate(reader->inflater, &step);
    size_t consumed = inputBefore - step.inputLeft;
    bool stuck = consumed == 0 && step.outputLeft == outputBefore && (buffers->inputLeft > 0 || reader->inputEnded);
    buffers->input = step.input;
    buffers->inputLeft -= consumed;
    buffers->output = step.output;
    buffers->outputLeft = step.outputLeft;
    reader->deflateEnded = status == InflateStatus::End;
    return status == InflateStatus::End || (status == InflateStatus::More && !stuck);
}

// Inflates into out until count bytes came out or the deflate data ended;
// *produced tells how many came. False on corrupt or cut data.
bool Decode(EntryReader *reader, uint8_t *out, size_t count, size_t *produced) {
    InflateBuffers buffers{reader->pending, reader->pendingLeft, out, count};
    bool ok = true;
    while (ok && buffers.outputLeft > 0 && !reader->deflateEnded) ok = DecodeStep(reader, &buffers, SIZE_MAX);
    reader->pending = buffers.input;
    reader->pendingLeft = buffers.inputLeft;
    *produced = count - buffers.outputLeft;
    return ok;
}

// Takes the decoder at the first read.
bool EnsureInflater(EntryReader *reader) {
    if (!reader->inflater && !(reader->inflater = CreateInflater())) reader->noMemory = true;
    return reader->inflater != nullptr;
}

// The position the decoder has reached, once the reader has moved.
zip_uint64_t Decoded(const EntryReader *reader) { return reader->historyStart + reader->historyLength; }

// Records a restart point where the decoder stands, if it stands between
// two blocks with a full window behind it.
void RecordPoint(EntryReader *reader, const InflateBuffers &buffers) {
    uint32_t unusedBits;
    if (reader->historyLength < kInflateWindowSize || !BetweenBlocks(reader->inflater, &unusedBits)) return;
    zip_uint64_t bufferStart = reader->streamOffset - reader->inputFilled;
    zip_uint64_t nextByte = bufferStart + static_cast<zip_uint64_t>(buffers.input - reader->input);
    if (unusedBits > nextByte * 8) return;
    AddRestartPoint(reader->points, Decoded(reader), nextByte * 8 - unusedBits, reader->crc,
                    reader->history + reader->historyLength - kInflateWindowSize);
}

// Moves what the decoder put in the history since the last call (room
// bytes were free then) into the history's valid part and the CRC.
void KeepOutput(EntryReader *reader, InflateBuffers *buffers, size_t *room) {
    size_t produced = *room - buffers->outputLeft;
    AddToCrc(reader, reader->history + reader->historyLength, Decoded(reader), produced);
    reader->historyLength += produced;
    *room = buffers->outputLeft;
}

// Inflates the next part of the entry into the history, recording a restart
// point where one is wanted. False on corrupt or cut data.
bool InflateMore(EntryReader *reader) {
    if (reader->historyLength == kHistorySize) {
        std::memmove(reader->history, reader->history + kHistorySize - kInflateWindowSize, kInflateWindowSize);
        reader->historyStart += kHistorySize - kInflateWindowSize;
        reader->historyLength = kInflateWindowSize;
    }
    const zip_uint64_t before = Decoded(reader);
    zip_uint64_t left = reader->stat.size - before;
    size_t room = kHistorySize - reader->historyLength;
    if (left < room) room = static_cast<size_t>(left);
    InflateBuffers buffers{reader->pending, reader->pendingLeft, reader->history + reader->historyLength, room};
    bool ok = true;
    while (ok && buffers.outputLeft > 0 && !reader->deflateEnded) {
        bool hunting = reader->points && WantsRestartPoint(reader->points, Decoded(reader) + room - buffers.outputLeft);
        ok = DecodeStep(reader, &buffers, hunting ? kHuntInput : SIZE_MAX);
        if (!ok || !hunting) continue;
        KeepOutput(reader, &buffers, &room);
        RecordPoint(reader, buffers);
    }
    reader->pending = buffers.input;
    reader->pendingLeft = buffers.inputLeft;
    KeepOutput(reader, &buffers, &room);
    return ok && Decoded(reader) > before;
}

// Copies count bytes from the history into buffer, inflating as far as
// needed.
bool ReadThroughHistory(EntryReader *reader, uint8_t *buffer, size_t count) {
    zip_uint64_t at = reader->delivered;
    while (count > 0) {
        if (at < Decoded(reader)) {
            zip_uint64_t ready = Decoded(reader) - at;
            size_t part = ready < count ? static_cast<size_t>(ready) : count;
            std::memcpy(buffer, reader->history + (at - reader->historyStart), part);
            buffer += part;
            count -= part;
            at += part;
        } else if (!InflateMore(reader)) {
            return false;
        }
    }
    return true;
}

// Inflates exactly count bytes into buffer and adds them to the CRC.
bool ReadInflated(EntryReader *reader, uint8_t *buffer, size_t count) {
    if (!EnsureInput(reader) || !EnsureInflater(reader)) return false;
    if (reader->moved) return ReadThroughHistory(reader, buffer, count);
    size_t produced = 0;
    if (!Decode(reader, buffer, count, &produced) || produced != count) return false;
    AddToCrc(reader, buffer, reader->delivered, count);
    return true;
}

// Reads exactly count bytes past the input buffer, straight into buffer.
bool ReadDirect(EntryReader *reader, uint8_t *buffer, zip_uint64_t count) {
    if (zip_fread(reader->stream, buffer, count) != static_cast<zip_int64_t>(count)) return false;
    reader->streamOffset += count;
    reader->inputFilled = 0;
    reader->pending = reader->input;
    return true;
}

// Reads exactly count bytes without inflating: a large read goes straight
// into buffer, small ones are served from fills of the input buffer (never
// past the entry's size).
bool ReadThrough(EntryReader *reader, uint8_t *buffer, zip_uint64_t count) {
    if (reader->pendingLeft == 0 && count >= kDirectReadSize) return ReadDirect(reader, buffer, count);
    while (count > 0) {
        if (reader->pendingLeft == 0) {
            if (!EnsureInput(reader)) return false;
            size_t want = NextFill(reader, reader->stat.size - reader->streamOffset);
            if (Fill(reader, want) != static_cast<zip_int64_t>(want)) return false;
            reader->pending = reader->input;
            reader->pendingLeft = want;
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
    while (reader->moved && Decoded(reader) < reader->stat.size) {
        if (!InflateMore(reader)) return false;
    }
    uint8_t extra;
    size_t produced = 0;
    if (!Decode(reader, &extra, 1, &produced) || produced != 0 || !reader->deflateEnded) return false;
    InflateBuffers rest{};
    while (!reader->inputEnded) {
        if (!Refill(reader, &rest)) return false;
    }
    return !reader->compareCrc || reader->crc == reader->stat.crc;
}

// Checks the end of the entry once all its bytes were read. Stored data
// read with gaps has no CRC to compare.
bool EndIsIntact(EntryReader *reader) {
    if (reader->route == Route::Inflate) return InflatedEndIsIntact(reader);
    if (reader->route == Route::Raw) {
        return !reader->compareCrc || reader->crcEnd < reader->stat.size || reader->crc == reader->stat.crc;
    }
    if (reader->authenticate) {
        return EnsureInput(reader) &&
               AesCodeMatches(reader->archive, reader->stat, reader->password, reader->input, reader->inputSize);
    }
    // libzip never compares the CRC of an empty entry.
    if (reader->stat.size == 0 && reader->compareCrc && reader->stat.crc != 0) return false;
    // libzip compares the CRC when the stream reports its end.
    char probe;
    return zip_fread(reader->stream, &probe, 1) == 0;
}

// Makes a reader of deflated data ready to move: its output goes through
// the history from now on, and restart points are recorded (in shared
// points, or the reader's own).
bool StartMoving(EntryReader *reader) {
    if (!EnsureInput(reader) || !EnsureInflater(reader)) return false;
    reader->history = static_cast<uint8_t *>(host::AllocMemory(kHistorySize, false, "ziphistory"));
    if (!reader->history) {
        reader->noMemory = true;
        return false;
    }
    reader->historyStart = reader->delivered;
    if (!reader->points) reader->points = CreateRestartPoints(reader->stat.size);
    reader->moved = true;
    return true;
}

// Sets the decoder to go on from point, or from the entry's start.
bool RestartFrom(EntryReader *reader, const RestartPoint *point) {
    if (!SeekStream(reader, point ? point->bit / 8 : 0)) return false;
    reader->inputEnded = reader->deflateEnded = false;
    if (!point) {
        ResetInflater(reader->inflater);
        reader->crc = 0;
        reader->crcEnd = reader->historyStart = reader->historyLength = 0;
        return true;
    }
    unsigned skipBits = static_cast<unsigned>(point->bit % 8);
    uint8_t first = 0;
    if (skipBits > 0) {
        InflateBuffers buffers{};
        if (!Refill(reader, &buffers) || buffers.inputLeft == 0) return false;
        first = buffers.input[0];
        reader->pending = buffers.input + 1;
        reader->pendingLeft = buffers.inputLeft - 1;
    }
    if (!RestartInflater(reader->inflater, point->window, kInflateWindowSize, first, skipBits)) return false;
    std::memcpy(reader->history, point->window, kInflateWindowSize);
    reader->historyStart = point->output - kInflateWindowSize;
    reader->historyLength = kInflateWindowSize;
    reader->crc = point->crc;
    reader->crcEnd = point->output;
    return true;
}

// Moves a reader of deflated data: within the history, on by inflating, or
// back to the nearest restart point.
bool MoveInflated(EntryReader *reader, zip_uint64_t position) {
    if (!reader->moved && !StartMoving(reader)) return false;
    zip_uint64_t decoded = Decoded(reader);
    if (position < reader->historyStart || position > decoded) {
        const RestartPoint *point = reader->points ? RestartPointBefore(reader->points, position) : nullptr;
        zip_uint64_t from = point ? point->output : 0;
        if ((position < decoded || from > decoded) && !RestartFrom(reader, point)) return false;
    }
    reader->delivered = position;
    return true;
}

// Moves a reader of stored data: within the input buffer, or by a seek.
bool MoveRaw(EntryReader *reader, zip_uint64_t position) {
    zip_uint64_t bufferStart = reader->streamOffset - reader->inputFilled;
    if (reader->input && position >= bufferStart && position <= reader->streamOffset) {
        reader->pending = reader->input + (position - bufferStart);
        reader->pendingLeft = static_cast<size_t>(reader->streamOffset - position);
    } else if (!SeekStream(reader, position)) {
        return false;
    }
    reader->delivered = position;
    return true;
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
    zip_flags_t flags = reader->route == Route::Libzip ? 0 : ZIP_FL_COMPRESSED;
    reader->stream = zip_fopen_index_encrypted(archive, index, flags, password);
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
    if (reader->history) host::FreeMemory(reader->history);
    ReleaseRestartPoints(reader->points);
    host::FreeMemory(reader);
}

bool ReadEntry(EntryReader *reader, void *buffer, zip_uint64_t count) {
    if (reader->failed || count > reader->stat.size - reader->delivered) {
        reader->failed = true;
        return false;
    }
    auto *bytes = static_cast<uint8_t *>(buffer);
    bool ok = reader->route == Route::Inflate ? ReadInflated(reader, bytes, static_cast<size_t>(count))
                                              : ReadThrough(reader, bytes, count);
    if (ok && reader->route == Route::Raw) AddToCrc(reader, bytes, reader->delivered, count);
    if (ok) reader->delivered += count;
    if (ok && reader->delivered == reader->stat.size && !reader->checked) ok = reader->checked = EndIsIntact(reader);
    reader->failed = !ok;
    return ok;
}

bool EntrySeekable(const EntryReader *reader) {
    return reader->route == Route::Raw ||
           (reader->route == Route::Inflate && reader->stat.encryption_method == ZIP_EM_NONE);
}

bool SeekEntry(EntryReader *reader, zip_uint64_t position) {
    if (reader->failed || position > reader->stat.size || !EntrySeekable(reader)) {
        reader->failed = true;
        return false;
    }
    if (position == reader->delivered) return true;
    bool ok = reader->route == Route::Raw ? MoveRaw(reader, position) : MoveInflated(reader, position);
    reader->failed = !ok;
    return ok;
}

void ShareRestartPoints(EntryReader *reader, RestartPoints *points) {
    if (reader->points || !points || RestartPointsEntrySize(points) != reader->stat.size) return;
    RetainRestartPoints(points);
    reader->points = points;
}

zip_uint64_t EntryPosition(const EntryReader *reader) { return reader->delivered; }

ReadFailure EntryReadFailure(const EntryReader *reader) {
    if (!reader->failed) return ReadFailure::None;
    return reader->noMemory ? ReadFailure::Memory : ReadFailure::Damaged;
}
