// Table 16: UTF-8.
#include "host_api.h"

#include "text.h"

namespace {

uint32_t DecodeUtf8Char(const char *s, int *index) { return text::DecodeUtf8(s, index); }

HostUtf8Api MakeTable() {
    HostUtf8Api t = {};
    t.DecodeUtf8Char = DecodeUtf8Char;
    return t;
}

const HostUtf8Api table = MakeTable();

}  // namespace

const HostUtf8Api *Utf8Api() { return &table; }
