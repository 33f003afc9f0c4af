// What every test program starts with, however it is run (by ctest or by
// hand): the offscreen platform, UTC as the local time, and the one-time
// allocations of system libraries that live until exit, which are not leaks
// of ours.
#include <cstdlib>

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libQt6\nleak:libdbus\nleak:libglib\nleak:libcanberra\n"
           "leak:libpulse\n";
}

namespace {

struct Defaults {
    Defaults() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("TZ", "UTC", 0);
    }
} const defaults;

}  // namespace
