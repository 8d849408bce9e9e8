/*
 * orvanel/plugin.h -- the plug-in interface of the Orvanel scripting host.
 *
 * One header for both sides: a plug-in (a shared library named NAME.orp)
 * includes it to call the host's services and to export its entry points;
 * the host includes it to serve those services and to call the plug-in.
 *
 * Records keep the host's field order. Pointer-sized fields are as wide as
 * a pointer, so on 64-bit builds the offsets differ from the classic 32-bit
 * layout; the 32-bit offsets are checked at the end of this file whenever
 * pointers are 4 bytes wide.
 *
 * Only C types cross this boundary, and no service unwinds through a
 * plug-in except the script-argument readers marked "raises", which leave
 * the way the script engine leaves (longjmp).
 */
#ifndef ORVANEL_PLUGIN_H
#define ORVANEL_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#define ORV_ALIGN8 alignas(8)
#else
#define ORV_ALIGN8 _Alignas(8)
#endif

/* The host's script state; opaque to plug-ins. */
typedef struct ScriptState ScriptState;

/* An open host file; opaque to plug-ins. */
typedef struct HostFile HostFile;

/* One tag of a tag list: lists end with tag 0 (TAG_DONE). */
typedef struct TagItem {
    uint32_t tag;   /* what the data means; 0 ends the list */
    uintptr_t data; /* a number or a pointer, by tag */
} TagItem;

#define TAG_DONE 0
#define HOSTCONTROL_IN_CALLBACK 31 /* SetHostControl: 1 before, 0 after a script callback */

/* A user tag (FOpen tag 6) or a plug-in option (RequirePlugin, kind 2). */
typedef struct UserTag {
    struct UserTag *next;      /* next node, NULL at the end */
    const char *key;           /* option name */
    const char *text;          /* the value as a string (NULL if none) */
    ORV_ALIGN8 double number;  /* the value as a number */
} UserTag;

/* One pair of the option list given to RequirePlugin; kind 0 ends it. */
typedef struct PluginOption {
    uint32_t kind;  /* 2: data is the head of a UserTag list */
    uintptr_t data;
} PluginOption;

#define PLUGINOPTION_END 0
#define PLUGINOPTION_TAGS 2

/* A broken-down local date, as the host stores dates. */
typedef struct DateRecord {
    int32_t seconds; /* 0-59 */
    int32_t minutes; /* 0-59 */
    int32_t hours;   /* 0-23 */
    int32_t day;     /* day of month, 1-31 */
    int32_t month;   /* 0-11, 0 = January */
    int32_t year;    /* full year, e.g. 1978 */
} DateRecord;

/* The host's description of one file or directory. */
typedef struct FSObjInfo {
    uint32_t type;             /* 0 file, 1 directory */
    uint32_t reserved;         /* not written by plug-ins */
    ORV_ALIGN8 uint64_t size;  /* bytes */
    uint32_t flags;            /* protection flags */
    DateRecord modified;       /* modification date */
    DateRecord created;        /* second date */
    DateRecord accessed;       /* third date */
    char *name;                /* name; owned by the host when asked for with FSOBJ_FULLNAME */
    char *comment;             /* comment (read by SetFSObjAttributes) */
    uint32_t containerKind;    /* 2: the object lies inside an archive */
    const char *containerPath; /* the archive that holds it */
} FSObjInfo;

#define FSOBJ_FILE 0
#define FSOBJ_DIRECTORY 1
#define FSOBJ_FULLNAME 2  /* flags bit: name in memory of its own (tag "fullpath") */
#define FSOBJ_SETTIME 2   /* SetFSObjAttributes: set the modification date */
#define FSOBJ_SETCOMMENT 4 /* SetFSObjAttributes: set the comment */

/* Where the bytes of an archive come from when they are not a plain file. */
typedef struct SourceRecord {
    const void *data;           /* data pointer (FOpen tag 2), or NULL */
    void *handle;               /* host handle (tag 5) when there is no data pointer */
    const char *extension;      /* text after the last '.' of the archive path, or "" */
    uint32_t reserved;          /* 0 */
    ORV_ALIGN8 uint64_t length; /* length of the data (tag 3), else 0 */
    uint64_t further;           /* further number (tag 4), or 0 */
} SourceRecord;

/* FOpen tags. */
#define FOPENTAG_FLAGS 1     /* pointer to a uint32_t flags word */
#define FOPENTAG_SOURCE 2    /* data pointer of the archive's bytes */
#define FOPENTAG_LENGTH 3    /* length that goes with tag 2 */
#define FOPENTAG_FURTHER 4   /* a further number handed on with the source */
#define FOPENTAG_HANDLE 5    /* host handle of the archive's bytes */
#define FOPENTAG_USERTAGS 6  /* pointer to the first UserTag */
#define FOPENTAG_NAME 7      /* pointer to a const char * that receives the adapter's name */
#define FOPENFLAG_SEQUENTIAL 4
#define OPENDIRTAG_NAME 2    /* OpenDir: pointer to a const char * for the adapter's name */

/* FOpen modes and OpenHostFile modes. */
#define FMODE_WRITE 1
#define FMODE_READWRITE 2
#define FMODE_READ 4
#define FMODE_DIRECT 8           /* OpenHostFile: bypass every file adapter */
#define FMODE_READ_ARCHIVE 12    /* read, bypassing adapters */

/* Seek modes. */
#define SEEK_FROM_CURRENT 0
#define SEEK_FROM_START 1
#define SEEK_FROM_END 2

/* Script object ids: a number, or an automatic id (pointerId != 0). */
typedef struct ObjectId {
    uint32_t numericId; /* the script's number */
    uintptr_t pointerId; /* nonzero for automatic ids: the object's address */
} ObjectId;

/* The head that every object record of a registered type starts with;
   the host walks these records through the list head it was given. */
typedef struct ObjectHeader {
    uint32_t objectType;         /* type id from RegisterObjectType */
    ObjectId id;                 /* the script id */
    uint32_t reserved;           /* left zero */
    struct ObjectHeader *next;   /* next record, NULL at the end */
} ObjectHeader;

typedef int (*AttributeHandler)(ScriptState *L, int attribute, const ObjectId *id);
typedef void (*HostCallback)(int value);
typedef int (*CommandFunction)(ScriptState *L);

#define HOSTCALLBACK_TEXTMODE 3 /* RegisterHostCallback: the host's text mode changed */

/* Host error numbers. Command functions return the number of results they
   pushed (below HOSTERR_FIRST) or an error code (HOSTERR_FIRST or above). */
#define HOSTERR_FIRST 1000
#define HOSTERR_NOMEMORY 1000
#define HOSTERR_SHORTWRITE 1005
#define HOSTERR_OPENFILE 1045
#define HOSTERR_OPENWRITE 1052
#define HOSTERR_BADVALUE 1055
#define HOSTERR_NOATTRIBUTE 1080
#define HOSTERR_UNKNOWNOPTION 1222

/* Capability bits of PluginInfo. */
#define CAP_LIBRARY 0x2
#define CAP_FILEADAPTER 0x4000
#define CAP_DIRADAPTER 0x8000

/* Filled by the plug-in in InitPlugin. */
typedef struct PluginInfo {
    uint32_t capabilities;   /* bit mask of CAP_ values */
    int32_t version;         /* plug-in version */
    int32_t revision;        /* plug-in revision */
    int32_t hostVersion;     /* in: the host's version; out: the minimum required */
    int32_t hostRevision;    /* in: the host's revision; out: the minimum required */
    const char *displayName; /* short name for people */
    const char *name;        /* module name */
    const char *author;
    const char *description;
    const char *copyright;
    const char *url;
    const char *date;        /* DD.MM.YY */
    const char *reserved;    /* set to NULL */
    const char *helpFile;    /* help document, relative to the plug-in folder */
} PluginInfo;

/* Table 2: text. */
typedef struct HostTextApi {
    void *slots0_22[23];
    int (*CompareNoCase)(const char *a, const char *b);              /* 2.23 */
    int (*CompareNoCaseN)(const char *a, const char *b, int n);      /* 2.24 */
    void *slots25_26[2];
    void (*LowerCaseText)(char *text);                               /* 2.27 */
} HostTextApi;

/* Table 3: system. */
typedef struct HostSystemApi {
    void (*SetHostControl)(const TagItem *tags);                     /* 3.0 */
    int (*RegisterError)(const char *text);                          /* 3.1 */
    void (*SetErrorArgument)(const char *text);                      /* 3.2 */
    void *slots3_10[8];
    void *(*AllocMemory)(size_t size, int clear, const char *tag);   /* 3.11 */
    void (*FreeMemory)(void *memory);                                /* 3.12 */
    int (*RegisterHostCallback)(int kind, HostCallback fn, void *reserved); /* 3.13 */
    void *slots14_16[3];
    int (*RegisterObjectType)(ScriptState *L, const char *name, ObjectHeader **listHead,
                              AttributeHandler handler);             /* 3.17 */
    void (*ReleaseObject)(ScriptState *L, void *object);             /* 3.18 */
    void *slots19_39[21];
    void (*GetCurrentDate)(DateRecord *date);                        /* 3.40 */
    void *slots41_42[2];
    int (*ActivateCapability)(PluginInfo *info, uint32_t bit);       /* 3.43 */
    void *slot44;
    void (*SetCapabilityOption)(PluginInfo *info, uint32_t bit, int value, int reserved); /* 3.45 */
} HostSystemApi;

/* Table 4: files. Positions and sizes are 64-bit. */
typedef struct HostFileApi {
    HostFile *(*OpenHostFile)(const char *name, int mode);                    /* 4.0 */
    void (*CloseHostFile)(HostFile *file);                                    /* 4.1 */
    int64_t (*SeekHostFile)(HostFile *file, int64_t position, int mode);      /* 4.2: position before, -1 on error */
    int32_t (*ReadHostFile)(HostFile *file, void *buffer, int32_t count);     /* 4.3: negative on error */
    int32_t (*WriteHostFile)(HostFile *file, const void *buffer, int32_t count); /* 4.4 */
    void *slots5_7[3];
    int (*DeleteHostFile)(const char *name);                                  /* 4.8: nonzero on success */
    void *slots9_18[10];
    int (*MakeTempFileName)(char *buffer, int size);                          /* 4.19: nonzero on success */
    int (*AppendPathPart)(char *buffer, const char *part, int size);          /* 4.20: nonzero if it fit */
    char *(*GetPathEnd)(const char *path);                                    /* 4.21 */
    const char *(*GetFileNamePart)(const char *path);                         /* 4.22 */
    void *slots23_26[4];
    int (*ExamineHostFile)(HostFile *file, int reserved, FSObjInfo *info, int reserved2); /* 4.27 */
    int (*WriteSourceToFile)(const char *name, void *source, uint64_t length, uint64_t further,
                             int isHandle, int reserved);                     /* 4.28: 0 on success */
    void *slots29_33[5];
    int (*MakeSourceFileName)(char *buffer, int size, const SourceRecord *source, int reserved); /* 4.34 */
} HostFileApi;

/* Table 10: script arguments, stack and tables. Stack indexes count from 1;
   negative ones from the top. */
typedef struct HostScriptApi {
    int (*GetArgCount)(ScriptState *L);                                       /* 10.0 */
    void (*SetStackTop)(ScriptState *L, int index);                           /* 10.1 */
    void (*PushValue)(ScriptState *L, int index);                             /* 10.2 */
    void *slots3_9[7];
    int (*IsValuePresent)(ScriptState *L, int index);                         /* 10.10 */
    void *slots11_13[3];
    double (*ToNumber)(ScriptState *L, int index);                            /* 10.14 */
    void *slots15_20[6];
    void (*PushNumber)(ScriptState *L, double n);                             /* 10.21 */
    void (*PushStringLen)(ScriptState *L, const char *s, size_t length);      /* 10.22 */
    void (*PushString)(ScriptState *L, const char *s);                        /* 10.23 */
    void (*PushPointer)(ScriptState *L, void *p);                             /* 10.24 */
    void *slot25;
    void (*GetTable)(ScriptState *L, int table);                              /* 10.26 */
    void *slots27_28[2];
    void (*NewTable)(ScriptState *L);                                         /* 10.29 */
    void *slot30;
    void (*SetTable)(ScriptState *L, int table);                              /* 10.31 */
    void *slots32_34[3];
    int (*CallFunction)(ScriptState *L, int nargs, int nresults, int flags);  /* 10.35: 0 or error code */
    void *slots36_44[9];
    const char *(*GetStringArg)(ScriptState *L, int index, size_t *length);   /* 10.45: raises */
    const char *(*GetOptStringArg)(ScriptState *L, int index, const char *def, size_t *length); /* 10.46: raises */
    double (*GetNumberArg)(ScriptState *L, int index);                        /* 10.47: raises */
    double (*GetOptNumberArg)(ScriptState *L, int index, double def);         /* 10.48: raises */
    void *slots49_50[2];
    void (*CheckTableArg)(ScriptState *L, int index);                         /* 10.51: raises */
    void (*CheckFunctionArg)(ScriptState *L, int index);                      /* 10.52: raises */
    void *slots53_55[3];
    void (*GetIdArg)(ScriptState *L, int index, ObjectId *id);                /* 10.56: raises */
    void *slots57_67[11];
    const char *(*GetFileNameArg)(ScriptState *L, int index);                 /* 10.68: raises */
    void (*GetNewIdArg)(ScriptState *L, int index, ObjectId *id);             /* 10.69: raises */
} HostScriptApi;

/* Table 16: UTF-8. */
typedef struct HostUtf8Api {
    void *slots0_18[19];
    uint32_t (*DecodeUtf8Char)(const char *text, int *index);                 /* 16.19: index advanced */
} HostUtf8Api;

/* What the host hands to InitPlugin: version words, then the service tables
   at their table numbers. */
typedef struct HostApi {
    uint32_t version;                  /* word 0 */
    uint32_t revision;                 /* word 1 */
    const void *table0;
    const void *table1;
    const HostTextApi *text;           /* table 2 */
    const HostSystemApi *system;       /* table 3 */
    const HostFileApi *file;           /* table 4 */
    const void *table5_9[5];
    const HostScriptApi *script;       /* table 10 */
    const void *table11_15[5];
    const HostUtf8Api *utf8;           /* table 16 */
} HostApi;

/* A command of a plug-in's script library; the table ends with two NULLs. */
typedef struct CommandEntry {
    const char *name;
    CommandFunction function;
} CommandEntry;

/* A help text per command, in the command table's order; ends with NULL. */
typedef struct HelpEntry {
    const char *text;
    const void *reserved;
} HelpEntry;

/* A numeric constant of a plug-in's library; the table ends with name NULL. */
typedef struct ConstantEntry {
    const char *name;
    ORV_ALIGN8 double value;
} ConstantEntry;

/* Entry points of a plug-in, as the host looks them up by name. */
typedef int (*InitPluginFn)(PluginInfo *info, const HostApi *api);
typedef void (*ClosePluginFn)(void);
typedef const char *(*GetBaseTableFn)(void);
typedef const CommandEntry *(*GetCommandsFn)(void);
typedef const ConstantEntry *(*GetConstantsFn)(void);
typedef const HelpEntry *(*GetHelpStringsFn)(void);
typedef int (*InitLibraryFn)(ScriptState *L);
typedef void (*FreeLibraryFn)(ScriptState *L);
typedef int (*RequirePluginFn)(ScriptState *L, int version, int revision, void *reserved,
                               const PluginOption *options);
typedef int (*GetExtensionsFn)(uint32_t capability);

/* File adapter entry points (capabilities CAP_FILEADAPTER | CAP_DIRADAPTER).
   Every one returns 0 for "not mine / failed": the host then serves the
   path with its own file system. */
typedef void *(*FOpenFn)(const char *path, int mode, const TagItem *tags);
typedef int32_t (*FReadFn)(void *handle, void *buffer, int32_t count);
typedef int32_t (*FWriteFn)(void *handle, const void *data, int32_t count);
typedef int64_t (*FSeekFn)(void *handle, int64_t offset, int mode);
typedef int (*FGetCFn)(void *handle);
typedef int (*FPutCFn)(void *handle, int ch);
typedef int (*FEofFn)(void *handle);
typedef int (*FStatFn)(void *handle, int flags, FSObjInfo *info);
typedef int (*FFlushFn)(void *handle);
typedef int (*FCloseFn)(void *handle);
typedef void *(*OpenDirFn)(const char *path, void *reserved, const TagItem *tags);
typedef int (*NextDirEntryFn)(void *handle, FSObjInfo *info);
typedef int (*RewindDirFn)(void *handle);
typedef int (*CloseDirFn)(void *handle);
typedef int (*StatDirFn)(void *handle, int flags, FSObjInfo *info);
typedef int (*ChangeDirFn)(const char *path);
typedef int (*GetCurDirFn)(char *buffer, int size);
typedef int (*StatFn)(const char *path, int flags, FSObjInfo *info);
typedef int (*MakeDirFn)(const char *path);
typedef int (*DeleteFSObjFn)(const char *path);
typedef int (*RenameFSObjFn)(const char *path, const char *newName);
typedef int (*MoveFSObjFn)(const char *path, const char *destination);
typedef int (*SetFSObjAttributesFn)(const char *path, int flags, const FSObjInfo *attributes);

#ifdef __cplusplus
}
#define ORV_STATIC_ASSERT static_assert
#else
#define ORV_STATIC_ASSERT _Static_assert
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
/* The classic 32-bit record layout. */
ORV_STATIC_ASSERT(offsetof(PluginInfo, helpFile) == 52, "PluginInfo layout");
ORV_STATIC_ASSERT(offsetof(FSObjInfo, modified) == 20, "FSObjInfo layout");
ORV_STATIC_ASSERT(offsetof(FSObjInfo, name) == 92, "FSObjInfo layout");
ORV_STATIC_ASSERT(offsetof(FSObjInfo, containerPath) == 104, "FSObjInfo layout");
ORV_STATIC_ASSERT(sizeof(FSObjInfo) == 112, "FSObjInfo size");
ORV_STATIC_ASSERT(offsetof(SourceRecord, length) == 16, "SourceRecord layout");
ORV_STATIC_ASSERT(sizeof(SourceRecord) == 32, "SourceRecord size");
ORV_STATIC_ASSERT(offsetof(UserTag, number) == 16, "UserTag layout");
ORV_STATIC_ASSERT(offsetof(ObjectHeader, next) == 16, "ObjectHeader layout");
#endif
ORV_STATIC_ASSERT(sizeof(DateRecord) == 24, "DateRecord size");
ORV_STATIC_ASSERT(offsetof(FSObjInfo, size) == 8, "FSObjInfo layout");
ORV_STATIC_ASSERT(offsetof(HostTextApi, CompareNoCase) == 23 * sizeof(void *), "table 2 slots");
ORV_STATIC_ASSERT(offsetof(HostSystemApi, AllocMemory) == 11 * sizeof(void *), "table 3 slots");
ORV_STATIC_ASSERT(offsetof(HostSystemApi, GetCurrentDate) == 40 * sizeof(void *), "table 3 slots");
ORV_STATIC_ASSERT(offsetof(HostSystemApi, SetCapabilityOption) == 45 * sizeof(void *), "table 3 slots");
ORV_STATIC_ASSERT(offsetof(HostFileApi, MakeTempFileName) == 19 * sizeof(void *), "table 4 slots");
ORV_STATIC_ASSERT(offsetof(HostFileApi, ExamineHostFile) == 27 * sizeof(void *), "table 4 slots");
ORV_STATIC_ASSERT(offsetof(HostFileApi, MakeSourceFileName) == 34 * sizeof(void *), "table 4 slots");
ORV_STATIC_ASSERT(offsetof(HostScriptApi, PushNumber) == 21 * sizeof(void *), "table 10 slots");
ORV_STATIC_ASSERT(offsetof(HostScriptApi, CallFunction) == 35 * sizeof(void *), "table 10 slots");
ORV_STATIC_ASSERT(offsetof(HostScriptApi, GetStringArg) == 45 * sizeof(void *), "table 10 slots");
ORV_STATIC_ASSERT(offsetof(HostScriptApi, CheckTableArg) == 51 * sizeof(void *), "table 10 slots");
ORV_STATIC_ASSERT(offsetof(HostScriptApi, GetIdArg) == 56 * sizeof(void *), "table 10 slots");
ORV_STATIC_ASSERT(offsetof(HostScriptApi, GetNewIdArg) == 69 * sizeof(void *), "table 10 slots");
ORV_STATIC_ASSERT(offsetof(HostUtf8Api, DecodeUtf8Char) == 19 * sizeof(void *), "table 16 slots");
ORV_STATIC_ASSERT(offsetof(HostApi, utf8) == 8 + 16 * sizeof(void *), "HostApi tables");

#endif /* ORVANEL_PLUGIN_H */
