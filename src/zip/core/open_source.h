// Opening an archive over a libzip source of the module's own.
#pragma once

#include <zip.h>

// zip_open_from_source with flags; the archive, or NULL with the source
// freed (its FREE has run).
zip_t *OpenFromSource(zip_source_t *source, int flags);
