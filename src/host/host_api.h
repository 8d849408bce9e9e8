// The service tables the host hands to plug-ins.
#pragma once

#include <orvanel/plugin.h>

// Fills the tables for the running host's version; call once at start-up.
void BuildHostApi();

// The HostApi given to InitPlugin.
const HostApi *GetHostApi();

// The services of each table, in the files named after the table.
const HostTextApi *TextApi();
const HostSystemApi *SystemApi();
const HostFileApi *FileApi();
const HostScriptApi *ScriptApi();
const HostUtf8Api *Utf8Api();
