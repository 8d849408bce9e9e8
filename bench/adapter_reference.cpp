// References for bench/adapter.sh: the same reads done by PhysicsFS
// (mounting the archive) and by a plain libzip loop. Prints the seconds a
// task took.
//
//   adapter_reference physfs-read ARCHIVE LIST     read every listed entry
//   adapter_reference libzip-read ARCHIVE LIST
//   adapter_reference physfs-list ARCHIVE          enumerate every directory
//   adapter_reference physfs-seek ARCHIVE NAME N   N random seeks + 4 KiB reads
//   adapter_reference libzip-seek ARCHIVE NAME N
//   adapter_reference physfs-seeks ARCHIVE NAME POSITIONS COUNT
//                                 4 KiB reads at the first COUNT positions
//                                 listed; prints CPU seconds
#include <physfs.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kChunk = 65536;
constexpr size_t kSeekRead = 4096;

std::vector<std::string> ReadList(const char *path) {
    std::vector<std::string> names;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) names.push_back(line);
    return names;
}

void Fail(const char *what) {
    std::fprintf(stderr, "adapter_reference: %s failed\n", what);
    std::exit(1);
}

void MountPhysfs(const char *archive) {
    if (!PHYSFS_init(nullptr) || !PHYSFS_mount(archive, "/", 1)) Fail("PHYSFS mount");
}

// Reads every listed file to its end through PhysicsFS; returns bytes read.
size_t PhysfsRead(const std::vector<std::string> &names) {
    std::vector<char> buffer(kChunk);
    size_t total = 0;
    for (const auto &name : names) {
        PHYSFS_File *file = PHYSFS_openRead(name.c_str());
        if (!file) Fail(name.c_str());
        for (PHYSFS_sint64 got; (got = PHYSFS_readBytes(file, buffer.data(), kChunk)) > 0;) total += got;
        PHYSFS_close(file);
    }
    return total;
}

// Reads every listed entry with one open archive, by name.
size_t LibzipRead(zip_t *archive, const std::vector<std::string> &names) {
    std::vector<char> buffer(kChunk);
    size_t total = 0;
    for (const auto &name : names) {
        zip_file_t *file = zip_fopen(archive, name.c_str(), 0);
        if (!file) Fail(name.c_str());
        for (zip_int64_t got; (got = zip_fread(file, buffer.data(), kChunk)) > 0;) total += got;
        zip_fclose(file);
    }
    return total;
}

// Enumerates dir and every directory below it; returns the entries seen.
size_t PhysfsList(const std::string &dir) {
    char **list = PHYSFS_enumerateFiles(dir.c_str());
    size_t count = 0;
    for (char **entry = list; *entry; entry++, count++) {
        std::string path = dir;
        if (path.back() != '/') path += '/';
        path += *entry;
        PHYSFS_Stat stat;
        if (PHYSFS_stat(path.c_str(), &stat) && stat.filetype == PHYSFS_FILETYPE_DIRECTORY) count += PhysfsList(path);
    }
    PHYSFS_freeList(list);
    return count;
}

// N random positions in an entry of size bytes, the same in every run.
std::vector<zip_uint64_t> Positions(zip_uint64_t size, int n) {
    std::mt19937_64 random(42);
    std::vector<zip_uint64_t> positions;
    for (int i = 0; i < n; i++) positions.push_back(random() % (size - kSeekRead));
    return positions;
}

// Opens name through PhysicsFS; exits when it cannot.
PHYSFS_File *OpenPhysfs(const char *name) {
    PHYSFS_File *file = PHYSFS_openRead(name);
    if (!file) Fail(name);
    return file;
}

// 4 KiB reads at each of positions in file, which it then closes; returns
// bytes read.
size_t PhysfsReadsAt(PHYSFS_File *file, const std::vector<zip_uint64_t> &positions) {
    std::vector<char> buffer(kSeekRead);
    size_t total = 0;
    for (zip_uint64_t position : positions) {
        if (!PHYSFS_seek(file, position)) Fail("PHYSFS_seek");
        total += static_cast<size_t>(PHYSFS_readBytes(file, buffer.data(), kSeekRead));
    }
    PHYSFS_close(file);
    return total;
}

// 4 KiB reads at n random positions of name.
size_t PhysfsSeek(const char *name, int n) {
    PHYSFS_File *file = OpenPhysfs(name);
    return PhysfsReadsAt(file, Positions(static_cast<zip_uint64_t>(PHYSFS_fileLength(file)), n));
}

// libzip streams only go forward: reopen to move back, read to skip.
size_t LibzipSeek(zip_t *archive, const char *name, int n) {
    zip_stat_t stat;
    if (zip_stat(archive, name, 0, &stat) != 0) Fail(name);
    std::vector<char> buffer(kChunk);
    zip_file_t *file = nullptr;
    zip_uint64_t at = 0;
    size_t total = 0;
    for (zip_uint64_t position : Positions(stat.size, n)) {
        if (!file || position < at) {
            if (file) zip_fclose(file);
            file = zip_fopen(archive, name, 0);
            at = 0;
        }
        for (; at < position;) at += static_cast<zip_uint64_t>(zip_fread(file, buffer.data(), std::min<zip_uint64_t>(kChunk, position - at)));
        zip_int64_t got = zip_fread(file, buffer.data(), kSeekRead);
        at += static_cast<zip_uint64_t>(got);
        total += static_cast<size_t>(got);
    }
    zip_fclose(file);
    return total;
}

// 4 KiB reads at the first n positions listed in the file positions.
size_t PhysfsSeekList(const char *name, const char *positions, int n) {
    PHYSFS_File *file = OpenPhysfs(name);
    std::ifstream in(positions);
    std::vector<zip_uint64_t> listed;
    for (zip_uint64_t position; static_cast<int>(listed.size()) < n && in >> position;) listed.push_back(position);
    return PhysfsReadsAt(file, listed);
}

zip_t *OpenLibzip(const char *archive) {
    zip_t *opened = zip_open(archive, ZIP_RDONLY, nullptr);
    if (!opened) Fail("zip_open");
    return opened;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::puts("# adapter_reference: run by bench/adapter.sh");
        return 0;
    }
    std::string task = argv[1];
    auto start = std::chrono::steady_clock::now();
    if (task == "physfs-read" && argc == 4) {
        auto names = ReadList(argv[3]);
        MountPhysfs(argv[2]);
        start = std::chrono::steady_clock::now();
        PhysfsRead(names);
    } else if (task == "libzip-read" && argc == 4) {
        auto names = ReadList(argv[3]);
        start = std::chrono::steady_clock::now();
        zip_t *archive = OpenLibzip(argv[2]);
        LibzipRead(archive, names);
        zip_discard(archive);
    } else if (task == "physfs-list") {
        MountPhysfs(argv[2]);
        PhysfsList("/");
    } else if (task == "physfs-seek" && argc == 5) {
        MountPhysfs(argv[2]);
        PhysfsSeek(argv[3], std::atoi(argv[4]));
    } else if (task == "physfs-seeks" && argc == 6) {
        MountPhysfs(argv[2]);
        std::clock_t cpu = std::clock();
        PhysfsSeekList(argv[3], argv[4], std::atoi(argv[5]));
        std::printf("%.6f\n", static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC);
        PHYSFS_deinit();
        return 0;
    } else if (task == "libzip-seek" && argc == 5) {
        zip_t *archive = OpenLibzip(argv[2]);
        LibzipSeek(archive, argv[3], std::atoi(argv[4]));
        zip_discard(archive);
    } else {
        Fail("unknown task");
    }
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.6f\n", took.count());
    if (PHYSFS_isInit()) PHYSFS_deinit();
    return 0;
}
