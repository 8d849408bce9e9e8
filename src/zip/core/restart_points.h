// Restart points in the deflate data of an entry, in the manner of zlib's
// "zran" example: where a deflate block begins, the bit position, the 32 KiB
// of output before it and the CRC-32 of all output before it, so that a
// reader can go on from there instead of inflating from the entry's start.
//
// One entry's points are as dense as its cap allows: 1/16 of the entry's
// size, and at most kRestartPointsCap across the process. At most one point
// falls in each span of output; the first span needs none. When the process
// cap is reached, the points of the entries least recently used go first.
// Points live on the process heap: the adapter keeps them with the archives
// it keeps, which outlive scripts. A failed allocation only loses a point.
// Used from the host's thread only.
#pragma once

#include <cstddef>
#include <cstdint>

// The output a deflate back-reference can reach.
constexpr size_t kInflateWindowSize = 32768;
// The memory all points of the process may take.
constexpr size_t kRestartPointsCap = 64u << 20;

// One place to go on inflating from.
struct RestartPoint {
    uint64_t output;                      // bytes of output before the block
    uint64_t bit;                         // where the block begins in the deflate data, in bits
    uint32_t crc;                         // CRC-32 of the output before the block
    uint8_t window[kInflateWindowSize];   // the last 32 KiB of that output
};

// The points of one entry; shared by its readers and the archive that keeps
// it, and freed with the last reference.
struct RestartPoints;

// An empty set for an entry of size bytes, with one reference; NULL when
// the entry is too small for a point within its cap, or without memory.
RestartPoints *CreateRestartPoints(uint64_t size);

// Adds a reference to points.
void RetainRestartPoints(RestartPoints *points);

// Drops a reference; the last frees the points. NULL is ignored.
void ReleaseRestartPoints(RestartPoints *points);

// The size of the entry the points were made for.
uint64_t RestartPointsEntrySize(const RestartPoints *points);

// The last point at or before position, or NULL; marks the set as used.
const RestartPoint *RestartPointBefore(RestartPoints *points, uint64_t position);

// Whether a block beginning at output position would be recorded.
bool WantsRestartPoint(const RestartPoints *points, uint64_t position);

// Records a point at output (see WantsRestartPoint) whose window is the
// kInflateWindowSize bytes at window, making room within the caps; nothing
// is recorded when memory runs out.
void AddRestartPoint(RestartPoints *points, uint64_t output, uint64_t bit, uint32_t crc, const uint8_t *window);

// The number of points in a set.
size_t RestartPointCount(const RestartPoints *points);

// The memory the points of the process take now.
size_t RestartPointsMemory();

// The sets of one archive's entries, by entry index; the archive holds a
// reference to each.
struct EntryRestartPoints {
    uint64_t *indexes;      // entry indexes, on the process heap
    RestartPoints **sets;   // their sets, in the same order
    size_t count;           // entries held
};

// The set of entry index (of size bytes) in table, created at the first
// call; NULL when none can be made. The table keeps its reference.
RestartPoints *RestartPointsOfEntry(EntryRestartPoints *table, uint64_t index, uint64_t size);

// Drops the table's references and its memory.
void ClearEntryRestartPoints(EntryRestartPoints *table);
