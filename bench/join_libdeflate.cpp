// Whether libdeflate could make the parallel close faster: a file deflated
// in independent blocks by libdeflate, whose outputs are joined into one
// deflate stream, against the close's way (zlib, 128 KiB blocks each primed
// with the 32 KiB before it and ended by a sync flush) and against one zlib
// stream as plain libzip writes it, at one level, on one thread and on
// every core.
//
//   join_libdeflate FILE LEVEL [ROUNDS]
//
// libdeflate compresses whole buffers only and ends each output with a
// final block. To join them, each output's blocks are walked with zlib's
// inflater (Z_BLOCK stops at every block boundary) to find where its last
// block begins; its final bit is cleared and an empty stored block aligns
// the end to a byte, as a sync flush would. Every joined stream is inflated
// and compared with the file. Prints, per way, the best time of ROUNDS
// (default 2) in wall and in CPU seconds (steadier on a shared machine),
// the size and its difference to libzip's, and BENCH lines (wall time) of
// each libdeflate way against the close's.
#include <libdeflate.h>
#include <zlib.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr size_t kCloseBlock = 128 * 1024;
constexpr size_t kWindow = 32 * 1024;
// An empty stored block's length fields, after its byte-aligned header.
constexpr unsigned char kEmptyStored[] = {0x00, 0x00, 0xff, 0xff};

// One way of deflating the file: the block size (0: one stream) and how
// each block becomes its part of the joined stream.
struct Way {
    const char *name;
    size_t block;
    bool libdeflate;
};

// The compressors of one thread.
struct Compressors {
    z_stream deflater{};
    z_stream inflater{};
    libdeflate_compressor *libdeflate = nullptr;
    Bytes scratch = Bytes(1 << 20);
    Compressors(int level) {
        deflateInit2(&deflater, level, Z_DEFLATED, -MAX_WBITS, MAX_MEM_LEVEL, Z_DEFAULT_STRATEGY);
        inflateInit2(&inflater, -MAX_WBITS);
        libdeflate = libdeflate_alloc_compressor(level);
    }
    ~Compressors() {
        deflateEnd(&deflater);
        inflateEnd(&inflater);
        libdeflate_free_compressor(libdeflate);
    }
};

// The close's way for one block: primed with the window before it, ended
// by a sync flush, or by the end of the stream for the last block.
Bytes ZlibPrimed(Compressors *c, const Bytes &file, size_t start, size_t length, int level) {
    z_stream *s = &c->deflater;
    deflateReset(s);
    deflateParams(s, level, Z_DEFAULT_STRATEGY);
    if (start != 0) deflateSetDictionary(s, file.data() + start - kWindow, kWindow);
    Bytes out(deflateBound(s, length) + 16);
    s->next_in = const_cast<unsigned char *>(file.data() + start);
    s->avail_in = static_cast<uInt>(length);
    s->next_out = out.data();
    s->avail_out = static_cast<uInt>(out.size());
    deflate(s, start + length == file.size() ? Z_FINISH : Z_SYNC_FLUSH);
    out.resize(out.size() - s->avail_out);
    return out;
}

// Walks the raw deflate stream's blocks: the bit where its last block
// begins and the bit where it ends; false when it is not one whole stream.
bool FindLastBlock(Compressors *c, const Bytes &data, uint64_t *lastStart, uint64_t *end) {
    z_stream *s = &c->inflater;
    inflateReset(s);
    s->next_in = const_cast<unsigned char *>(data.data());
    s->avail_in = static_cast<uInt>(data.size());
    uint64_t blockStart = 0;
    for (;;) {
        s->next_out = c->scratch.data();
        s->avail_out = static_cast<uInt>(c->scratch.size());
        const int result = inflate(s, Z_BLOCK);
        if (result != Z_OK) return false;
        // At a block boundary (128), after the last block (64) or before
        // the next one.
        if (!(s->data_type & 128)) continue;
        const uint64_t bit = (data.size() - s->avail_in) * 8 - (s->data_type & 7);
        if (s->data_type & 64) {
            *lastStart = blockStart;
            *end = bit;
            return true;
        }
        blockStart = bit;
    }
}

// libdeflate's output for one block, made joinable unless it ends the
// file: the last block's final bit cleared, then an empty stored block.
Bytes LibdeflateJoinable(Compressors *c, const Bytes &file, size_t start, size_t length) {
    Bytes out(libdeflate_deflate_compress_bound(c->libdeflate, length));
    out.resize(libdeflate_deflate_compress(c->libdeflate, file.data() + start, length, out.data(), out.size()));
    if (start + length == file.size()) return out;
    uint64_t lastStart = 0, end = 0;
    if (!FindLastBlock(c, out, &lastStart, &end)) return {};
    out[lastStart / 8] &= static_cast<unsigned char>(~(1u << (lastStart % 8)));
    // Three zero bits (not final, stored), then zeros up to the byte's end.
    const size_t size = (end + 3 + 7) / 8;
    out.resize(size);
    for (size_t i = end / 8; i < size; i++)
        out[i] &= i == end / 8 ? static_cast<unsigned char>((1u << (end % 8)) - 1) : 0;
    out.insert(out.end(), std::begin(kEmptyStored), std::end(kEmptyStored));
    return out;
}

// Deflates the file the way's way (a block of the whole file is one zlib
// stream, as plain libzip writes it) on threads threads; the joined stream.
Bytes Run(const Way &way, const Bytes &file, int level, unsigned threads) {
    if (way.block == 0) {
        Compressors c(level);
        return ZlibPrimed(&c, file, 0, file.size(), level);
    }
    const size_t blocks = std::max<size_t>(1, (file.size() + way.block - 1) / way.block);
    std::vector<Bytes> parts(blocks);
    std::atomic<size_t> next{0};
    auto work = [&] {
        Compressors c(level);
        for (size_t i; (i = next++) < blocks;) {
            const size_t start = i * way.block, length = std::min(way.block, file.size() - start);
            parts[i] = way.libdeflate ? LibdeflateJoinable(&c, file, start, length)
                                      : ZlibPrimed(&c, file, start, length, level);
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; t++) pool.emplace_back(work);
    work();
    for (std::thread &thread : pool) thread.join();
    Bytes joined;
    for (const Bytes &part : parts) joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

// CPU seconds of the process so far, on every thread.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Whether the raw deflate stream inflates to the file.
bool InflatesTo(const Bytes &stream, const Bytes &file) {
    Bytes out(file.size() + 1);
    z_stream s{};
    inflateInit2(&s, -MAX_WBITS);
    s.next_in = const_cast<unsigned char *>(stream.data());
    s.avail_in = static_cast<uInt>(stream.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&s, Z_FINISH);
    const bool same = result == Z_STREAM_END && s.avail_in == 0 && s.total_out == file.size() &&
                      std::memcmp(out.data(), file.data(), file.size()) == 0;
    inflateEnd(&s);
    return same;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FILE LEVEL [ROUNDS]\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int level = std::atoi(argv[2]);
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 2;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const Way ways[] = {{"libzip-stream", 0, false},
                        {"zlib-primed", kCloseBlock, false},
                        {"libdeflate-128k", kCloseBlock, true},
                        {"libdeflate-1m", 1024 * 1024, true}};
    const char *label = std::strrchr(argv[1], '/') ? std::strrchr(argv[1], '/') + 1 : argv[1];
    size_t reference = 0;
    double primed[2] = {0, 0};
    int status = 0;
    for (const Way &way : ways) {
        for (unsigned threads : {1u, cores}) {
            if (way.block == 0 && threads != 1) continue;
            double best = 0, cpu = 0;
            Bytes joined;
            for (int round = 0; round < rounds; round++) {
                const auto start = std::chrono::steady_clock::now();
                const double cpuStart = CpuSeconds();
                joined = Run(way, file, level, threads);
                const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
                if (round == 0 || taken.count() < best) best = taken.count();
                if (round == 0 || CpuSeconds() - cpuStart < cpu) cpu = CpuSeconds() - cpuStart;
            }
            const bool sound = InflatesTo(joined, file);
            if (!sound) status = 1;
            if (way.block == 0) reference = joined.size();
            const bool one = threads == 1;
            if (!way.libdeflate && way.block != 0) primed[one ? 0 : 1] = best;
            std::printf("# %s level %d %-16s %u thread%s %8.3f s %6.1f MiB/s cpu %8.3f s %10zu bytes %+6.2f%% %s\n",
                        label, level, way.name, threads, one ? " " : "s", best, file.size() / 1048576.0 / best, cpu,
                        joined.size(),
                        100.0 * (static_cast<double>(joined.size()) / static_cast<double>(reference) - 1),
                        sound ? "inflates to the file" : "BROKEN");
            if (way.libdeflate)
                std::printf("BENCH join-%s-level%d-%s-%u-thread%s %.4f zlib-primed %.4f\n", label, level, way.name,
                            threads, one ? "" : "s", best, primed[one ? 0 : 1]);
        }
    }
    return status;
}
