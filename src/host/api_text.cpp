// Table 2: text.
#include "host_api.h"

#include "text.h"

namespace {

int CompareNoCase(const char *a, const char *b) { return text::CompareNoCase(a, b, -1); }
int CompareNoCaseN(const char *a, const char *b, int n) { return n <= 0 ? 0 : text::CompareNoCase(a, b, n); }
void LowerCaseText(char *s) { text::LowerCase(s); }

HostTextApi MakeTable() {
    HostTextApi t = {};
    t.CompareNoCase = CompareNoCase;
    t.CompareNoCaseN = CompareNoCaseN;
    t.LowerCaseText = LowerCaseText;
    return t;
}

const HostTextApi table = MakeTable();

}  // namespace

const HostTextApi *TextApi() { return &table; }
