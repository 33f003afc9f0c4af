// The fixed 24-character local date form ("Wed Jun  5 14:03:09 2024") that the
// banners and lock files carry, followed by a line feed. Day and month names
// are always English, whatever locale the host program has set.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

namespace quillongen {

inline std::string standardTime(std::time_t when) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
    localtime_r(&when, &t);
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d\n", kDays[(t.tm_wday + 7) % 7],
                  kMonths[(t.tm_mon + 12) % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                  t.tm_year + 1900);
    return text;
}

}  // namespace quillongen
