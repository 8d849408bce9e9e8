// The reference for the appending benchmark: small entries written into a
// large archive with plain libzip, one zip_open, zip_file_add and zip_close
// per entry (libzip's own file source, which copies the unchanged data).
//
//   append_libzip ARCHIVE COUNT
//
// Prints the seconds taken.
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

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

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE COUNT\n", argv[0]);
        return 2;
    }
    const int count = std::atoi(argv[2]);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= count; i++) {
        if (!AppendOne(argv[1], i)) {
            std::fprintf(stderr, "%s: writing %s failed\n", argv[0], argv[1]);
            return 1;
        }
    }
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", taken.count());
    return 0;
}
