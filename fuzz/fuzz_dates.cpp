// Date strings: any text given to ParseDateString. An accepted text must
// convert and format without harm, and a formatted four-digit-year date
// must parse back to the same fields.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_host.h"
#include "core/dates.h"

namespace {

bool SameDate(const DateRecord &a, const DateRecord &b) {
    return a.seconds == b.seconds && a.minutes == b.minutes && a.hours == b.hours && a.day == b.day &&
           a.month == b.month && a.year == b.year;
}

// Formats time and parses the text back: the round trip must hold.
void CheckRoundTrip(time_t time) {
    char text[kDateStringSize];
    DateRecord broken{};
    if (!FormatDateString(time, text) || !TimeToDateRecord(time, &broken)) return;
    if (broken.year < 1000 || broken.year > 9999) return;
    DateRecord parsed{};
    if (!ParseDateString(text, &parsed) || !SameDate(parsed, broken)) {
        fprintf(stderr, "formatted date \"%s\" does not parse back\n", text);
        abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzhost::Start();
    std::string text(reinterpret_cast<const char *>(data), size);  // zero-terminated copy
    DateRecord date{};
    if (ParseDateString(text.c_str(), &date)) {
        time_t time = 0;
        if (DateRecordToTime(&date, &time) != -1) CheckRoundTrip(time);
    }
    fuzzhost::CheckNothingLeft("dates");
    return 0;
}
