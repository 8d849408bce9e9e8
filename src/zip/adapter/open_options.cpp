// Reading FOpen's tag list and the user tags it points to.
#include <cstring>

#include "adapter/file_handle.h"
#include "host.h"

namespace {

// Takes the user tags "password" and "encryption"; a later node overrides
// an earlier one, other keys are ignored.
void ReadUserTags(const UserTag *node, OpenOptions *options) {
    for (; node; node = node->next) {
        if (!node->key) continue;
        if (host::CompareNoCase(node->key, "password") == 0) {
            options->password = node->text;
        } else if (host::CompareNoCase(node->key, "encryption") == 0) {
            options->encryption = host::TruncateToInt32(node->number);
        }
    }
}

}  // namespace

OpenOptions ReadOpenOptions(const TagItem *tags) {
    OpenOptions options{};
    for (const TagItem *tag = tags; tag && tag->tag != TAG_DONE; tag++) {
        switch (tag->tag) {
            case FOPENTAG_FLAGS: {
                auto *flags = reinterpret_cast<const uint32_t *>(tag->data);
                options.sequential = flags && (*flags & FOPENFLAG_SEQUENTIAL);
                break;
            }
            case FOPENTAG_SOURCE: options.sourceData = reinterpret_cast<const void *>(tag->data); break;
            case FOPENTAG_LENGTH: options.sourceLength = tag->data; break;
            case FOPENTAG_FURTHER: options.further = tag->data; break;
            case FOPENTAG_HANDLE: options.sourceHandle = reinterpret_cast<void *>(tag->data); break;
            case FOPENTAG_USERTAGS: ReadUserTags(reinterpret_cast<const UserTag *>(tag->data), &options); break;
            case FOPENTAG_NAME: options.nameOut = reinterpret_cast<const char **>(tag->data); break;
            default: break;
        }
    }
    return options;
}
