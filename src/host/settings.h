// What the host reports about itself and how it was started.
#pragma once

#include <string>

// The running host's identity and text mode, set from the command line.
struct HostSettings {
    int version = 10;        // host version reported to plug-ins
    int revision = 0;        // host revision reported to plug-ins
    bool utf8 = true;        // host strings are UTF-8 (else ISO-8859-1)
    std::string pluginDir;   // folder searched for NAME.orp
};

extern HostSettings gSettings;

// True when the running host is version.revision or newer.
bool HostIsAtLeast(int version, int revision);
