// Restart points: each set is a row of slots, one per span of output, on the
// process heap; every live set is on one list, so that the process cap can
// evict the least recently used set's points.
#include "core/restart_points.h"

#include <cstdlib>
#include <cstring>

struct RestartPoints {
    int32_t references;       // readers and archives holding the set
    uint64_t size;            // the entry's size
    uint64_t span;            // output per slot
    uint64_t slots;           // slots in slot[]
    size_t count;             // points held
    uint64_t lastUse;         // for eviction: when a point was last looked up or added
    RestartPoints *previous;  // the list of live sets
    RestartPoints *next;
    RestartPoint *slot[];     // the point of each span, or NULL
};

namespace {

RestartPoints *gSets;   // every live set
size_t gMemory;         // bytes of all points
uint64_t gUseClock;     // counts uses, for lastUse

// Frees every point of points.
void DropPoints(RestartPoints *points) {
    for (uint64_t i = 0; i < points->slots && points->count > 0; i++) {
        if (!points->slot[i]) continue;
        free(points->slot[i]);
        points->slot[i] = nullptr;
        points->count--;
        gMemory -= sizeof(RestartPoint);
    }
}

// The set with points, other than keep, used least recently; NULL if none.
RestartPoints *LeastRecentlyUsed(const RestartPoints *keep) {
    RestartPoints *oldest = nullptr;
    for (RestartPoints *set = gSets; set; set = set->next) {
        if (set != keep && set->count > 0 && (!oldest || set->lastUse < oldest->lastUse)) oldest = set;
    }
    return oldest;
}

// Evicts other sets' points until one more point fits in the process cap;
// false if it cannot.
bool MakeRoom(const RestartPoints *keep) {
    while (gMemory + sizeof(RestartPoint) > kRestartPointsCap) {
        RestartPoints *oldest = LeastRecentlyUsed(keep);
        if (!oldest) return false;
        DropPoints(oldest);
    }
    return true;
}

}  // namespace

RestartPoints *CreateRestartPoints(uint64_t size) {
    uint64_t cap = size / 16 < kRestartPointsCap ? size / 16 : kRestartPointsCap;
    uint64_t most = cap / sizeof(RestartPoint);
    if (most == 0) return nullptr;
    // Slot 0 needs no point: the entry's start is one.
    uint64_t span = size / (most + 1) + 1;
    uint64_t slots = size / span + 1;
    auto *points = static_cast<RestartPoints *>(calloc(1, sizeof(RestartPoints) + slots * sizeof(RestartPoint *)));
    if (!points) return nullptr;
    points->references = 1;
    points->size = size;
    points->span = span;
    points->slots = slots;
    points->next = gSets;
    if (gSets) gSets->previous = points;
    gSets = points;
    return points;
}

void RetainRestartPoints(RestartPoints *points) { points->references++; }

void ReleaseRestartPoints(RestartPoints *points) {
    if (!points || --points->references > 0) return;
    DropPoints(points);
    if (points->previous) points->previous->next = points->next;
    if (points->next) points->next->previous = points->previous;
    if (gSets == points) gSets = points->next;
    free(points);
}

uint64_t RestartPointsEntrySize(const RestartPoints *points) { return points->size; }

const RestartPoint *RestartPointBefore(RestartPoints *points, uint64_t position) {
    uint64_t slot = position / points->span;
    if (slot >= points->slots) slot = points->slots - 1;
    for (;; slot--) {
        const RestartPoint *point = points->slot[slot];
        if (point && point->output <= position) {
            points->lastUse = ++gUseClock;
            return point;
        }
        if (slot == 0) return nullptr;
    }
}

bool WantsRestartPoint(const RestartPoints *points, uint64_t position) {
    uint64_t slot = position / points->span;
    return slot > 0 && slot < points->slots && position >= kInflateWindowSize && position < points->size &&
           !points->slot[slot];
}

void AddRestartPoint(RestartPoints *points, uint64_t output, uint64_t bit, uint32_t crc, const uint8_t *window) {
    if (!WantsRestartPoint(points, output) || !MakeRoom(points)) return;
    auto *point = static_cast<RestartPoint *>(malloc(sizeof(RestartPoint)));
    if (!point) return;
    point->output = output;
    point->bit = bit;
    point->crc = crc;
    std::memcpy(point->window, window, kInflateWindowSize);
    points->slot[output / points->span] = point;
    points->count++;
    points->lastUse = ++gUseClock;
    gMemory += sizeof(RestartPoint);
}

size_t RestartPointCount(const RestartPoints *points) { return points->count; }

size_t RestartPointsMemory() { return gMemory; }

RestartPoints *RestartPointsOfEntry(EntryRestartPoints *table, uint64_t index, uint64_t size) {
    for (size_t i = 0; i < table->count; i++) {
        if (table->indexes[i] == index) return table->sets[i];
    }
    RestartPoints *points = CreateRestartPoints(size);
    if (!points) return nullptr;
    auto *indexes = static_cast<uint64_t *>(realloc(table->indexes, (table->count + 1) * sizeof(uint64_t)));
    if (indexes) table->indexes = indexes;
    auto *sets = static_cast<RestartPoints **>(realloc(table->sets, (table->count + 1) * sizeof(RestartPoints *)));
    if (sets) table->sets = sets;
    if (!indexes || !sets) {
        ReleaseRestartPoints(points);
        return nullptr;
    }
    table->indexes[table->count] = index;
    table->sets[table->count++] = points;
    return points;
}

void ClearEntryRestartPoints(EntryRestartPoints *table) {
    for (size_t i = 0; i < table->count; i++) ReleaseRestartPoints(table->sets[i]);
    free(table->indexes);
    free(table->sets);
    *table = EntryRestartPoints{};
}
