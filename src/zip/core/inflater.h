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

// Sets the decoder back to the start of a raw deflate stream.
void ResetInflater(Inflater *inflater);

// Whether the decoder stands between two deflate blocks, every byte it
// decoded handed out; *unusedBits then tells how many of the bits it took
// from its input it has not used yet. A decoder that stops here can go on
// from the same place with RestartInflater.
bool BetweenBlocks(const Inflater *inflater, uint32_t *unusedBits);

// Sets the decoder up to go on from a block boundary inside a raw deflate
// stream: window holds the last output before it (windowSize bytes, at most
// 32 KiB), and the boundary lies skipBits (0 to 7) bits into the byte
// firstByte; the input to give next is the byte after firstByte (with
// skipBits 0, firstByte itself, and firstByte is ignored). False when the
// decoder refuses the window.
bool RestartInflater(Inflater *inflater, const uint8_t *window, size_t windowSize, uint8_t firstByte,
                     unsigned skipBits);

// The CRC-32 of ZIP entries, continued from crc over count bytes.
uint32_t UpdateCrc32(uint32_t crc, const uint8_t *data, size_t count);
