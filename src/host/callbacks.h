// Host callbacks of plug-ins, the text mode they are told about, and the
// host-control state plug-ins set around script callbacks.
#pragma once

#include <orvanel/plugin.h>

struct Plugin;

namespace callbacks {

// Registers fn of owner for callback kind; 0, or HOSTERR_BADVALUE for kinds
// this host does not offer.
int Register(Plugin *owner, int kind, HostCallback fn);

// Forgets every callback of owner (it is being unloaded).
void Forget(const Plugin *owner);

// Switches the text mode (ignored by hosts below 6.2) and tells every
// text-mode callback. Returns the mode now in effect.
bool SetUtf8(bool utf8);

// Applies a SetHostControl tag list.
void ApplyHostControl(const TagItem *tags);

// True between SetHostControl tag 31 = 1 and tag 31 = 0.
bool InScriptCallback();

}  // namespace callbacks
