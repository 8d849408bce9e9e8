// The inflate step with zlib; its memory comes from the host.
#include <zlib.h>

#include "core/inflater.h"
#include "host.h"

struct Inflater {
    z_stream stream;  // zlib's state, set up for raw deflate data
    bool started;     // inflateInit2 has run: inflateEnd must run too
};

namespace {

// zlib's allocator, served from host memory so that its failure can be
// injected.
voidpf AllocateForZlib(voidpf, uInt items, uInt size) {
    return host::AllocMemory(static_cast<size_t>(items) * size, false, "inflate");
}

void FreeForZlib(voidpf, voidpf memory) { host::FreeMemory(memory); }

}  // namespace

Inflater *CreateInflater() {
    auto *inflater = static_cast<Inflater *>(host::AllocMemory(sizeof(Inflater), true, "inflate"));
    if (!inflater) return nullptr;
    inflater->stream.zalloc = AllocateForZlib;
    inflater->stream.zfree = FreeForZlib;
    if (inflateInit2(&inflater->stream, -MAX_WBITS) != Z_OK) {
        host::FreeMemory(inflater);
        return nullptr;
    }
    inflater->started = true;
    return inflater;
}

void DestroyInflater(Inflater *inflater) {
    if (!inflater) return;
    if (inflater->started) inflateEnd(&inflater->stream);
    host::FreeMemory(inflater);
}

InflateStatus Inflate(Inflater *inflater, InflateBuffers *buffers) {
    z_stream &stream = inflater->stream;
    // zlib counts in 32 bits; larger buffers are taken in parts.
    uInt input = buffers->inputLeft > UINT32_MAX ? UINT32_MAX : static_cast<uInt>(buffers->inputLeft);
    uInt output = buffers->outputLeft > UINT32_MAX ? UINT32_MAX : static_cast<uInt>(buffers->outputLeft);
    stream.next_in = const_cast<Bytef *>(buffers->input);
    stream.avail_in = input;
    stream.next_out = buffers->output;
    stream.avail_out = output;
    int result = inflate(&stream, Z_NO_FLUSH);
    buffers->input += input - stream.avail_in;
    buffers->inputLeft -= input - stream.avail_in;
    buffers->output += output - stream.avail_out;
    buffers->outputLeft -= output - stream.avail_out;
    switch (result) {
        case Z_OK:
        case Z_BUF_ERROR: return InflateStatus::More;
        case Z_STREAM_END: return InflateStatus::End;
        case Z_MEM_ERROR: return InflateStatus::NoMemory;
        default: return InflateStatus::Corrupt;
    }
}

uint32_t UpdateCrc32(uint32_t crc, const uint8_t *data, size_t count) {
    return static_cast<uint32_t>(crc32_z(crc, data, count));
}
