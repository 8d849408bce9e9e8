#include "callbacks.h"

#include <vector>

#include "settings.h"

namespace callbacks {
namespace {

// One registered callback.
struct Registration {
    const Plugin *owner;  // the plug-in that registered it
    int kind;             // HOSTCALLBACK_ kind
    HostCallback fn;      // the plug-in's function
};

std::vector<Registration> registrations;
bool inScriptCallback = false;

// Hosts from 6.2 on have UTF-8 strings and tell plug-ins of the text mode.
bool HostHasTextMode() { return HostIsAtLeast(6, 2); }

}  // namespace

int Register(Plugin *owner, int kind, HostCallback fn) {
    if (kind != HOSTCALLBACK_TEXTMODE || fn == nullptr || !HostHasTextMode()) return HOSTERR_BADVALUE;
    registrations.push_back({owner, kind, fn});
    // A host started in Latin-1 mode must say so at once: the plug-in
    // assumes UTF-8 from the version alone.
    fn(gSettings.utf8 ? 1 : 0);
    return 0;
}

void Forget(const Plugin *owner) {
    std::erase_if(registrations, [owner](const Registration &r) { return r.owner == owner; });
}

bool SetUtf8(bool utf8) {
    if (!HostHasTextMode()) return gSettings.utf8;
    gSettings.utf8 = utf8;
    for (const Registration &r : registrations)
        if (r.kind == HOSTCALLBACK_TEXTMODE) r.fn(utf8 ? 1 : 0);
    return gSettings.utf8;
}

void ApplyHostControl(const TagItem *tags) {
    for (; tags && tags->tag != TAG_DONE; ++tags)
        if (tags->tag == HOSTCONTROL_IN_CALLBACK) inScriptCallback = tags->data != 0;
}

bool InScriptCallback() { return inScriptCallback; }

}  // namespace callbacks
