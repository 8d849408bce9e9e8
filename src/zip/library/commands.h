// The seventeen script commands of the zip library. Each takes the script
// state and returns the number of results it pushed or an error code.
#pragma once

#include <orvanel/plugin.h>

// Archive objects
int OpenArchive(ScriptState *L);
int CloseArchive(ScriptState *L);
int GetObjectType(ScriptState *L);
// Adding entries
int AddDirectory(ScriptState *L);
int AddFile(ScriptState *L);
// Listing and lookup
int GetFileAtIndex(ScriptState *L);
int LocateFile(ScriptState *L);
// Editing entries
int DeleteFile(ScriptState *L);
int RenameFile(ScriptState *L);
int SetDefaultPassword(ScriptState *L);
int SetFileEncryption(ScriptState *L);
int SetFileCompression(ScriptState *L);
int SetFileComment(ScriptState *L);
int GetFileComment(ScriptState *L);
int SetFileTime(ScriptState *L);
// Extraction and attributes
int ExtractFile(ScriptState *L);
int GetFileAttributes(ScriptState *L);
