#include "settings.h"

HostSettings gSettings;

bool HostIsAtLeast(int version, int revision) {
    return gSettings.version > version || (gSettings.version == version && gSettings.revision >= revision);
}
