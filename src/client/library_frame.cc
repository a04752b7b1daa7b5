// Provisional log writer: lines go to standard error until the full library frame lands.
#include "client/library_frame.h"

#include <cstdarg>

void _internal_LOG(const char* format, ...) {
    char line[509];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "[qmv3 shared lib] %s\n", line);
}

int _internal_getLogLevel() { return 1; }
