#include "core/archive_changes.h"

namespace {

ArchiveChangeListener gListener;  // the one listener, or NULL

}  // namespace

void ListenToArchiveChanges(ArchiveChangeListener listener) { gListener = listener; }

void AnnounceArchiveChange(const char *path) {
    if (gListener != nullptr) gListener(path);
}
