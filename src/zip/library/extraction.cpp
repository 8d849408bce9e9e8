// zip.ExtractFile: copies one entry's data into a host file, 64 KiB at a
// time, with an optional progress callback.
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "core/entry_reader.h"
#include "core/file_identity.h"
#include "host.h"
#include "library/archive.h"
#include "library/commands.h"
#include "library/options.h"
#include "library/progress.h"

namespace {

constexpr int32_t kChunkSize = 65536;

// Argument positions of zip.ExtractFile.
constexpr int kIndexArg = 2;
constexpr int kDestinationArg = 3;
constexpr int kOptionsArg = 4;
// Options fetched onto the stack: password, callback, userdata.
constexpr int kOptionCount = 3;

// Where the fetched options stand on the stack; plain, so that it may exist
// while the fetches raise.
struct ExtractOptions {
    int password;  // stack index of the password value (maybe nil), 0 without options
    int callback;  // stack index of the progress function, 0 without one
    int userdata;  // stack index of the userdata value, 0 without one
};

using EntryFile = std::unique_ptr<EntryReader, EntryReaderClose>;

// Marks the archive as being read while a callback may run, and restores
// what it was on every way out, so a callback cannot close it under us.
class ReadingGuard {
public:
    explicit ReadingGuard(ArchiveObject *object) : object_(object), previous_(object->use) {
        object->use = ArchiveUse::Reading;
    }
    ~ReadingGuard() { object_->use = previous_; }
    ReadingGuard(const ReadingGuard &) = delete;
    ReadingGuard &operator=(const ReadingGuard &) = delete;

private:
    ArchiveObject *object_;  // the archive being read
    ArchiveUse previous_;    // its use before this extraction
};

// Fetches the options table's fields onto the stack and checks their types
// before anything is copied or held. raises
ExtractOptions FetchExtractOptions(ScriptState *L) {
    host::CheckTableArg(L, kOptionsArg);
    ExtractOptions options{};
    options.password = FetchStringOption(L, kOptionsArg, "password");
    options.callback = FetchOption(L, kOptionsArg, "callback");
    if (OptionPresent(L, options.callback))
        host::CheckFunctionArg(L, options.callback);
    else
        options.callback = 0;
    options.userdata = FetchOption(L, kOptionsArg, "userdata");
    if (!OptionPresent(L, options.userdata)) options.userdata = 0;
    return options;
}

// The password that decrypts the entry: the option's, else the archive's
// default one (NULL when neither is set).
const char *EntryPassword(const ArchiveObject *object, const char *option) {
    return option ? option : object->defaultPassword;
}

// Whole percent of size that done is; the fraction is formed first.
int ProgressPercent(zip_uint64_t done, zip_uint64_t size) {
    return static_cast<int>(static_cast<double>(done) / static_cast<double>(size) * kPercent);
}

// The error of a failed entry read.
int ReadError(const EntryReader *entry) {
    return EntryReadFailure(entry) == ReadFailure::Memory ? HOSTERR_NOMEMORY : ZipError();
}

// Whether nothing at all is at path: then the destination is this
// command's own file, which it may remove again.
bool NothingAt(const char *path) {
    struct stat status;
    return lstat(path, &status) != 0 && errno == ENOENT;
}

// Everything one transfer works with.
struct Transfer {
    ScriptState *L;           // the command's script state
    EntryReader *entry;       // the open entry
    HostFile *output;         // the destination
    uint8_t *buffer;          // kChunkSize bytes
    zip_uint64_t size;        // the entry's uncompressed size
    ObjectId id;              // the archive's id, for progress reports
    const ExtractOptions *options;  // callback and userdata positions
};

// Copies size bytes from the entry to the destination, reporting progress
// after each chunk. Returns 0, or the error code of the failed read, write
// or callback.
int CopyEntryData(const Transfer &transfer) {
    // An empty entry is checked by a read of nothing.
    if (transfer.size == 0 && !ReadEntry(transfer.entry, transfer.buffer, 0)) return ReadError(transfer.entry);
    zip_uint64_t done = 0;
    while (done < transfer.size) {
        zip_uint64_t left = transfer.size - done;
        int32_t chunk = left < kChunkSize ? static_cast<int32_t>(left) : kChunkSize;
        if (!ReadEntry(transfer.entry, transfer.buffer, chunk)) return ReadError(transfer.entry);
        if (host::WriteHostFile(transfer.output, transfer.buffer, chunk) != chunk) return HOSTERR_SHORTWRITE;
        done += static_cast<zip_uint64_t>(chunk);
        if (!transfer.options->callback) continue;
        int failed = CallProgress(transfer.L, transfer.options->callback, "ExtractFile", transfer.id,
                                  ProgressPercent(done, transfer.size), transfer.options->userdata);
        if (failed) return failed;
    }
    return 0;
}

}  // namespace

int ExtractFile(ScriptState *L) {
    const zip_uint64_t index = IndexArg(L, kIndexArg);
    const char *destination = host::GetStringArg(L, kDestinationArg);
    const int count = host::GetArgCount(L);
    ArchiveObject *object = ArchiveArg(L);
    if (!object) return ArchiveNotFound();
    const bool hasOptions = count >= kOptionsArg;
    const ExtractOptions options = hasOptions ? FetchExtractOptions(L) : ExtractOptions{};

    // Nothing below raises: the copy and the stack values go on every way out.
    StackSlots optionValues(L, hasOptions ? kOptionCount : 0);
    // A password that cannot be copied counts as absent: the default
    // password is tried instead.
    host::Memory<char> password;
    size_t passwordLength = 0;
    if (hasOptions) CopyStringValue(L, options.password, &password, &passwordLength);
    if (int busy = CheckArchiveReadable(object)) return busy;
    zip_stat_t stat;
    if (zip_stat_index(object->archive, index, 0, &stat) != 0) return ZipError();
    bool noMemory = false;
    EntryFile entry(OpenEntryReader(object->archive, index, EntryPassword(object, password.get()), &noMemory));
    if (!entry) return noMemory ? HOSTERR_NOMEMORY : ZipError();
    bool fresh = NothingAt(destination);
    // Opening the archive's own file for writing would truncate the data
    // being read: refuse it as a destination that cannot be written.
    host::File output(IsArchiveFile(object, destination) ? nullptr : host::OpenHostFile(destination, FMODE_WRITE));
    if (!output) {
        host::SetErrorArgument(destination);
        return HOSTERR_OPENWRITE;
    }
    FileIdentity created{};
    bool ours = fresh && IdentifyFile(destination, &created);
    host::Memory<uint8_t> buffer(static_cast<uint8_t *>(host::AllocMemory(kChunkSize, false, "savefile")));
    if (!buffer) return HOSTERR_NOMEMORY;

    ReadingGuard reading(object);
    int failed = CopyEntryData({L, entry.get(), output.get(), buffer.get(), stat.size, object->id, &options});
    if (failed && ours && EntryReadFailure(entry.get()) == ReadFailure::Damaged) {
        output.reset();
        if (PathNamesFile(destination, created)) host::DeleteHostFile(destination);
    }
    return failed;
}
