// The inflate step with ISA-L's streaming decoder and CRC; its state comes
// from host memory. ISA-L has no call that stops at a block boundary or
// starts inside a stream: the boundary is seen in its block state when a
// call ends while it reads a block header (or is about to), and a restart
// primes its bit buffer (read_in) with the bits of the first byte.
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include "core/inflater.h"
#include "host.h"

struct Inflater {
    inflate_state state;  // ISA-L's decoder, set up for raw deflate data
};

Inflater *CreateInflater() {
    auto *inflater = static_cast<Inflater *>(host::AllocMemory(sizeof(Inflater), false, "inflate"));
    if (inflater) isal_inflate_init(&inflater->state);
    return inflater;
}

void DestroyInflater(Inflater *inflater) {
    if (inflater) host::FreeMemory(inflater);
}

InflateStatus Inflate(Inflater *inflater, InflateBuffers *buffers) {
    inflate_state &state = inflater->state;
    // ISA-L counts in 32 bits; larger buffers are taken in parts.
    uint32_t input = buffers->inputLeft > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(buffers->inputLeft);
    uint32_t output = buffers->outputLeft > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(buffers->outputLeft);
    state.next_in = const_cast<uint8_t *>(buffers->input);
    state.avail_in = input;
    state.next_out = buffers->output;
    state.avail_out = output;
    int result = isal_inflate(&state);
    buffers->input += input - state.avail_in;
    buffers->inputLeft -= input - state.avail_in;
    buffers->output += output - state.avail_out;
    buffers->outputLeft -= output - state.avail_out;
    if (result < 0 || result == ISAL_NEED_DICT) return InflateStatus::Corrupt;
    return state.block_state == ISAL_BLOCK_FINISH ? InflateStatus::End : InflateStatus::More;
}

void ResetInflater(Inflater *inflater) { isal_inflate_init(&inflater->state); }

bool BetweenBlocks(const Inflater *inflater, uint32_t *unusedBits) {
    const inflate_state &state = inflater->state;
    bool between = (state.block_state == ISAL_BLOCK_NEW_HDR || state.block_state == ISAL_BLOCK_HDR) &&
                   state.tmp_out_valid == state.tmp_out_processed && state.write_overflow_len == 0 &&
                   state.copy_overflow_length == 0 && state.read_in_length >= 0;
    // In the middle of a header ISA-L keeps the header's bytes read so far
    // in tmp_in_buffer.
    if (between) {
        *unusedBits = static_cast<uint32_t>(state.read_in_length) + 8u * static_cast<uint32_t>(state.tmp_in_size);
    }
    return between;
}

bool RestartInflater(Inflater *inflater, const uint8_t *window, size_t windowSize, uint8_t firstByte,
                     unsigned skipBits) {
    inflate_state &state = inflater->state;
    isal_inflate_init(&state);
    if (isal_inflate_set_dict(&state, const_cast<uint8_t *>(window), static_cast<uint32_t>(windowSize)) != COMP_OK) {
        return false;
    }
    if (skipBits > 0) {
        state.read_in = firstByte >> skipBits;
        state.read_in_length = static_cast<int32_t>(8 - skipBits);
    }
    return true;
}

uint32_t UpdateCrc32(uint32_t crc, const uint8_t *data, size_t count) {
    // ISA-L's CRC takes 64-bit counts; it continues a CRC the way zlib does.
    return crc32_gzip_refl(crc, data, count);
}
