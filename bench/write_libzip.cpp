// The reference for the writing benchmark: the same files added with plain
// libzip (zip_source_file) and written with zip_close.
//
//   write_libzip OUT.zip LIST
//
// LIST holds one "path<TAB>entry name" per line. Prints the seconds taken.
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

// Adds every file of the list; false at the first refusal.
bool AddListedFiles(zip_t *archive, const char *list) {
    std::ifstream in(list);
    std::string line;
    while (std::getline(in, line)) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) return false;
        const std::string path = line.substr(0, tab);
        zip_source_t *source = zip_source_file(archive, path.c_str(), 0, -1);
        if (source == nullptr) return false;
        if (zip_file_add(archive, line.c_str() + tab + 1, source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUT.zip LIST\n", argv[0]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    zip_t *archive = zip_open(argv[1], ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    if (archive == nullptr || !AddListedFiles(archive, argv[2]) || zip_close(archive) != 0) {
        std::fprintf(stderr, "%s: writing %s failed\n", argv[0], argv[1]);
        return 1;
    }
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", taken.count());
    return 0;
}
