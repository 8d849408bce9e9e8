// Runs a fuzz target over files and folders of inputs without libFuzzer, so
// that the seed corpus and every input that once crashed stay regression
// tests in the ordinary and sanitizer builds.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

void RunFile(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char **argv) {
    size_t inputs = 0;
    for (int i = 1; i < argc; i++) {
        std::filesystem::path path(argv[i]);
        if (!std::filesystem::exists(path)) continue;
        if (!std::filesystem::is_directory(path)) {
            RunFile(path);
            ++inputs;
            continue;
        }
        for (const auto &entry : std::filesystem::recursive_directory_iterator(path)) {
            if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
            RunFile(entry.path());
            ++inputs;
        }
    }
    printf("%zu inputs ran clean\n", inputs);
    return 0;
}
