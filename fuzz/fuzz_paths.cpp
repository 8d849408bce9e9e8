// Host paths given to SplitArchivePath, with and without the trailing slash
// a directory scan asks for. An accepted path must split into an archive
// part that is a prefix of the path ending in ".zip" (any case), and an
// inner part that fits its buffer and holds no backslash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "adapter/paths.h"
#include "fuzz_host.h"

namespace {

void Fail(const char *what, const std::string &path) {
    fprintf(stderr, "SplitArchivePath(\"%s\"): %s\n", path.c_str(), what);
    abort();
}

void CheckSplit(const std::string &path, bool trailingSlash) {
    ArchivePath split;
    if (!SplitArchivePath(path.c_str(), &split, trailingSlash)) return;
    size_t archiveLength = strnlen(split.archive, sizeof split.archive);
    size_t innerLength = strnlen(split.inner, sizeof split.inner);
    if (archiveLength >= sizeof split.archive || innerLength >= sizeof split.inner) Fail("unterminated part", path);
    if (archiveLength < 4 || strncasecmp(split.archive + archiveLength - 4, ".zip", 4) != 0) Fail("archive part does not end in .zip", path);
    if (path.compare(0, archiveLength, split.archive) != 0) Fail("archive part is not a prefix of the path", path);
    if (strchr(split.inner, '\\') != nullptr) Fail("backslash left in the inner path", path);
    if (innerLength == 0 && path.size() != archiveLength) Fail("empty inner path for a longer path", path);
    if (trailingSlash && innerLength > 0 && split.inner[innerLength - 1] != '/') Fail("no trailing slash", path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzhost::Start();
    std::string path(reinterpret_cast<const char *>(data), size);
    path.resize(strlen(path.c_str()));  // the host hands over C strings
    CheckSplit(path, false);
    CheckSplit(path, true);
    fuzzhost::CheckNothingLeft("paths");
    return 0;
}
