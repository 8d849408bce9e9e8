// The plug-in shell: entry points, the information record and the command,
// constant and help tables of the zip library.
#include "plugin.h"

#include "adapter/archive_cache.h"
#include "core/archive_changes.h"
#include "host.h"
#include "library/archive.h"
#include "library/commands.h"

PluginState gState;

// The version text of the module; no code reads it, so keep it from being
// dropped.
__attribute__((used)) static const char kVersionText[] = "$VER: zip.orp 2.0 (08.07.23) [Linux]";

namespace {

constexpr uint32_t kCapabilities = 0x0102C402;
// The module's version and the host version it is written for.
constexpr int32_t kVersion = 2;
constexpr int32_t kRevision = 0;
constexpr int32_t kHostVersion = 6;
constexpr int32_t kHostRevision = 0;
// The first host version with UTF-8 strings and the text-mode callback.
constexpr int32_t kUtf8Version = 6;
constexpr int32_t kUtf8Revision = 2;
// What GetExtensions reports for the library and the directory adapter.
constexpr int kLibraryExtensions = 4;
constexpr int kDirAdapterExtensions = 3;

const CommandEntry kCommands[] = {
    {"OpenArchive", OpenArchive},
    {"CloseArchive", CloseArchive},
    {"GetObjectType", GetObjectType},
    {"AddDirectory", AddDirectory},
    {"AddFile", AddFile},
    {"GetFileAtIndex", GetFileAtIndex},
    {"DeleteFile", DeleteFile},
    {"RenameFile", RenameFile},
    {"LocateFile", LocateFile},
    {"ExtractFile", ExtractFile},
    {"GetFileAttributes", GetFileAttributes},
    {"SetDefaultPassword", SetDefaultPassword},
    {"SetFileEncryption", SetFileEncryption},
    {"SetFileCompression", SetFileCompression},
    {"SetFileComment", SetFileComment},
    {"GetFileComment", GetFileComment},
    {"SetFileTime", SetFileTime},
    {nullptr, nullptr},
};

// One help text per command, in the order of kCommands.
const HelpEntry kHelpStrings[] = {
    {"[id]=zip.OpenArchive(id,filename$[,mode]) -- open a zip archive for reading or writing", nullptr},
    {"zip.CloseArchive(id[,discard,callback,userdata]) -- close zip archive", nullptr},
    {"type=zip.GetObjectType() -- get zip archive object type", nullptr},
    {"idx=zip.AddDirectory(id,d$) -- add directory to zip archive", nullptr},
    {"idx=zip.AddFile(id,f$[,table]) -- add file to zip archive", nullptr},
    {"name$=zip.GetFileAtIndex(id,idx) -- get name of file by index", nullptr},
    {"zip.DeleteFile(id,idx) -- delete file from zip archive", nullptr},
    {"zip.RenameFile(id,idx,newname$) -- rename file in zip archive", nullptr},
    {"idx=zip.LocateFile(id,name$[,table]) -- find file in zip archive", nullptr},
    {"zip.ExtractFile(id,idx,dst$[,table]) -- extract file from zip archive", nullptr},
    {"t=zip.GetFileAttributes(id, idx) -- get file attributes", nullptr},
    {"zip.SetDefaultPassword(id,pwd$) -- set default password", nullptr},
    {"zip.SetFileEncryption(id,idx,method[,pwd$]) -- set file encryption", nullptr},
    {"zip.SetFileCompression(id,idx,method[,flags])\t-- set file compression", nullptr},
    {"zip.SetFileComment(id[,c$,idx]) -- set file comment", nullptr},
    {"c$=zip.GetFileComment(id[,idx]) -- get file comment", nullptr},
    {"zip.SetFileTime(id,idx,time$) -- set file datestamp", nullptr},
    {nullptr, nullptr},
};

static_assert(sizeof(kCommands) / sizeof(kCommands[0]) == sizeof(kHelpStrings) / sizeof(kHelpStrings[0]),
              "one help text per command");

const ConstantEntry kConstants[] = {
    {"ZIP_CM_DEFAULT", ZIP_CM_DEFAULT},
    {"ZIP_CM_STORE", ZIP_CM_STORE},
    {"ZIP_CM_SHRINK", ZIP_CM_SHRINK},
    {"ZIP_CM_REDUCE_1", ZIP_CM_REDUCE_1},
    {"ZIP_CM_REDUCE_2", ZIP_CM_REDUCE_2},
    {"ZIP_CM_REDUCE_3", ZIP_CM_REDUCE_3},
    {"ZIP_CM_REDUCE_4", ZIP_CM_REDUCE_4},
    {"ZIP_CM_IMPLODE", ZIP_CM_IMPLODE},
    {"ZIP_CM_DEFLATE", ZIP_CM_DEFLATE},
    {"ZIP_CM_DEFLATE64", ZIP_CM_DEFLATE64},
    {"ZIP_CM_PKWARE_IMPLODE", ZIP_CM_PKWARE_IMPLODE},
    {"ZIP_CM_BZIP2", ZIP_CM_BZIP2},
    {"ZIP_CM_LZMA", ZIP_CM_LZMA},
    {"ZIP_CM_TERSE", ZIP_CM_TERSE},
    {"ZIP_CM_LZ77", ZIP_CM_LZ77},
    {"ZIP_CM_XZ", ZIP_CM_XZ},
    {"ZIP_CM_JPEG", ZIP_CM_JPEG},
    {"ZIP_CM_WAVPACK", ZIP_CM_WAVPACK},
    {"ZIP_CM_PPMD", ZIP_CM_PPMD},
    {"ZIP_EM_NONE", ZIP_EM_NONE},
    {"ZIP_EM_TRAD_PKWARE", ZIP_EM_TRAD_PKWARE},
    {"ZIP_EM_AES_128", ZIP_EM_AES_128},
    {"ZIP_EM_AES_192", ZIP_EM_AES_192},
    {"ZIP_EM_AES_256", ZIP_EM_AES_256},
    {"ZIP_EM_UNKNOWN", ZIP_EM_UNKNOWN},
    {"ZIP_FL_ENC_UTF_8", ZIP_FL_ENC_UTF_8},
    {"ZIP_FL_ENC_CP437", ZIP_FL_ENC_CP437},
    {"ZIPATTRNUMENTRIES", kAttributeNumEntries},
    {nullptr, 0},
};

static_assert(sizeof(kConstants) / sizeof(kConstants[0]) == 28 + 1, "28 constants");

// Without the host's services no command can run, so the host gets empty
// command and help tables then.
const CommandEntry kNoCommands[] = {{nullptr, nullptr}};
const HelpEntry kNoHelpStrings[] = {{nullptr, nullptr}};

// The host reports its text mode: 1 for UTF-8, 0 for ISO-8859-1.
void SetUtf8Mode(int value) { gState.utf8Mode = value; }

// Fills the information record the host passed to InitPlugin.
void FillPluginInfo(PluginInfo *info) {
    info->capabilities = kCapabilities;
    info->version = kVersion;
    info->revision = kRevision;
    info->hostVersion = kHostVersion;
    info->hostRevision = kHostRevision;
    info->displayName = "ZIP";
    info->name = "zip";
    info->author = "The zip.orp developers";
    info->description = "Read and write zip archives with Orvanel";
    info->copyright = "Copyright (c) 2023 the zip.orp developers";
    info->url = "https://orvanel.example.org/plugins/zip";
    info->date = "08.07.23";
    info->reserved = nullptr;
    info->helpFile = "zip/index.html";
}

// Registers the module's error messages and keeps their codes.
void RegisterErrors() {
    gState.errorOpenArchive = host::RegisterError("Error opening zip archive %s!");
    gState.errorArchiveNotFound = host::RegisterError("Cannot find specified zip archive!");
    gState.errorZip = host::RegisterError("A zip error has occurred!");
    gState.errorArchiveBusy = host::RegisterError("Zip archive is in use!");
}

// Reads the option list of RequirePlugin into *install. Returns 0, or
// HOSTERR_UNKNOWNOPTION after naming the unknown key to the host.
int ReadPluginOptions(const PluginOption *options, int32_t *install) {
    for (const PluginOption *option = options; option->kind != PLUGINOPTION_END; option++) {
        if (option->kind != PLUGINOPTION_TAGS) continue;
        for (const UserTag *tag = reinterpret_cast<const UserTag *>(option->data); tag != nullptr; tag = tag->next) {
            if (host::CompareNoCase(tag->key, "installadapter") != 0) {
                host::SetErrorArgument(tag->key);
                return HOSTERR_UNKNOWNOPTION;
            }
            *install = host::TruncateToInt32(tag->number);
        }
    }
    return 0;
}

}  // namespace

// Fills the record; on a host from 6.0 on, also keeps its services and
// registers the module with it. Always returns 1.
ZIP_EXPORT int InitPlugin(PluginInfo *info, const HostApi *api) {
    const int32_t version = info->hostVersion;
    const int32_t revision = info->hostRevision;
    gState.utf8Mode = (version > kUtf8Version || (version == kUtf8Version && revision >= kUtf8Revision)) ? 1 : 0;
    FillPluginInfo(info);
    if (api == nullptr || version < kHostVersion) return 1;

    host::api = api;
    RegisterErrors();
    ListenToArchiveChanges(ForgetArchive);
    host::SetCapabilityOption(info, CAP_FILEADAPTER, 1);
    if (host::IsAtLeast(kUtf8Version, kUtf8Revision)) host::RegisterHostCallback(HOSTCALLBACK_TEXTMODE, SetUtf8Mode);
    gState.info = info;
    return 1;
}

// Nothing to release: FreeLibrary has dropped everything the module held.
ZIP_EXPORT void ClosePlugin(void) {}

ZIP_EXPORT const char *GetBaseTable(void) { return "zip"; }

ZIP_EXPORT const CommandEntry *GetCommands(void) { return host::api != nullptr ? kCommands : kNoCommands; }

ZIP_EXPORT const ConstantEntry *GetConstants(void) { return kConstants; }

ZIP_EXPORT const HelpEntry *GetHelpStrings(void) { return host::api != nullptr ? kHelpStrings : kNoHelpStrings; }

// Registers the archive object type; returns 0.
ZIP_EXPORT int InitLibrary(ScriptState *L) {
    if (host::api != nullptr) RegisterArchiveType(L);
    return 0;
}

// Drops every open archive without writing it.
ZIP_EXPORT void FreeLibrary(ScriptState *L) {
    if (host::api == nullptr) return;
    DiscardAllArchives(L);
    DropArchiveCache();
}

// Handles the script's options for the module: a nonzero "installadapter"
// activates the file adapter. Returns 0, HOSTERR_UNKNOWNOPTION for any other
// key, or the error of a failed activation.
ZIP_EXPORT int RequirePlugin(ScriptState *, int, int, void *, const PluginOption *options) {
    if (gState.info == nullptr || options == nullptr || options->kind == PLUGINOPTION_END) return 0;
    int32_t install = 0;
    if (int error = ReadPluginOptions(options, &install)) return error;
    if (install == 0) return 0;
    if (int error = host::ActivateCapability(gState.info, CAP_DIRADAPTER)) return error;
    return host::ActivateCapability(gState.info, CAP_FILEADAPTER);
}

// What the module offers for a capability bit; 0 for bits it does not serve.
ZIP_EXPORT int GetExtensions(uint32_t capability) {
    switch (capability) {
    case CAP_LIBRARY: return kLibraryExtensions;
    case CAP_DIRADAPTER: return kDirAdapterExtensions;
    default: return 0;
    }
}
