// The notice that the module is about to replace, or has replaced, an
// archive file. What keeps archives open between uses (the file adapter's
// cache) listens to it and drops what it kept of that file; the writers need
// not know who listens.
#pragma once

// Called with the path of an archive file that changes.
using ArchiveChangeListener = void (*)(const char *path);

// Makes listener the one that hears every notice (NULL: nobody).
void ListenToArchiveChanges(ArchiveChangeListener listener);

// Tells the listener, if any, that the archive file at path is about to
// change or has changed.
void AnnounceArchiveChange(const char *path);
