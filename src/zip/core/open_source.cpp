#include "core/open_source.h"

zip_t *OpenFromSource(zip_source_t *source, int flags) {
    zip_error_t error;
    zip_error_init(&error);
    zip_t *archive = zip_open_from_source(source, flags, &error);
    zip_error_fini(&error);
    if (archive == nullptr) zip_source_free(source);
    return archive;
}
