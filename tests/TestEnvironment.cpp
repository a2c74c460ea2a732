// Linked into every test program, so that a test behaves the same under ctest and when its
// program is started by hand: offscreen Qt, and sanitizers that stop at the first report.
#include <cstdlib>

extern "C" {
const char* __asan_default_options()
{
    return "detect_leaks=1:abort_on_error=1";
}
const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}
// Leaks inside system libraries that the test programs do not own.
const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig\nleak:libdbus\nleak:libglib\n";
}
}

namespace {
const bool kOffscreen = [] { return setenv("QT_QPA_PLATFORM", "offscreen", 0) == 0; }();
}
