// The inflate step of the entry reader: raw deflate data in, bytes out,
// and the CRC of the bytes. One implementation is linked (ISA-L's); another
// decoder can replace it without touching its callers.
#pragma once

#include <cstddef>
#include <cstdint>

struct Inflater;

// The data one call works on; the call advances both sides.
struct InflateBuffers {
    const uint8_t *input;  // next compressed byte
    size_t inputLeft;      // compressed bytes available
    uint8_t *output;       // where the next byte goes
    size_t outputLeft;     // room left there
};

// What one call ended with.
enum class InflateStatus {
    More,      // it needs more input or more room to go on
    End,       // the deflate stream ended; nothing more comes out
    Corrupt,   // the data is no valid deflate stream
};

// A decoder at the start of a raw deflate stream, its state in host memory;
// NULL when memory runs out.
Inflater *CreateInflater();

// Releases the decoder and its memory; NULL is ignored.
void DestroyInflater(Inflater *inflater);

// Decodes as much as the buffers allow.
InflateStatus Inflate(Inflater *inflater, InflateBuffers *buffers);

// The CRC-32 of ZIP entries, continued from crc over count bytes.
uint32_t UpdateCrc32(uint32_t crc, const uint8_t *data, size_t count);
