#include "System.h"

UnicodeString FormatMessage1(const UnicodeString& pattern, const UnicodeString& arg) {
    UnicodeString out = pattern;
    const auto at = out.find(L"%s");
    if (at != UnicodeString::npos) out.replace(at, 2, arg);
    return out;
}
