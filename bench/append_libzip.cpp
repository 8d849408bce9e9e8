// The reference for the appending benchmark: small entries written into a
// large archive with plain libzip, one zip_open, zip_file_add and zip_close
// per entry (libzip's own file source, which copies the unchanged data).
//
//   append_libzip ARCHIVE COUNT
//
// Prints the seconds taken.
#include <zip.h>

#include <cstdio>
#include <string>

#include "timed_rounds.h"

namespace {

// Opens the archive, adds entry number i as added/NN.txt and closes it.
bool AppendOne(const char *path, int i) {
    zip_t *archive = zip_open(path, 0, nullptr);
    if (archive == nullptr) return false;
    static char data[64];
    const int length = std::snprintf(data, sizeof data, "small entry %d\n", i);
    zip_source_t *source = zip_source_buffer(archive, data, static_cast<zip_uint64_t>(length), 0);
    const std::string name = "added/" + std::to_string(i) + ".txt";
    if (source == nullptr || zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE) < 0) {
        zip_source_free(source);
        zip_discard(archive);
        return false;
    }
    return zip_close(archive) == 0;
}

}  // namespace

int main(int argc, char **argv) { return RunTimedRounds(argc, argv, AppendOne); }
