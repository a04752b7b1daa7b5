/* The main job until the command-line tool takes over: print the library information and write one
 * line into the library's log. */
#include <stdio.h>

#include "qmv3/qmv3.h"

int main(void) {
    unsigned major = 0, minor = 0, third = 0;
    char text[200];
    unsigned size = sizeof text;
    char logFile[1024];
    int logFileSize = (int)sizeof logFile;
    int level = 0;

    if (qmLibraryInfoEx(&major, &minor, &third, text, &size) == NULL) {
        fprintf(stderr, "qmLibraryInfoEx failed\n");
        return 1;
    }
    printf("%s\nversion %u.%u.%u\n", text, major, minor, third);

    /* Selecting the automatic log file writes its start lines and the change message into it. */
    if (!qmSetVerboseEx(3, "")) {
        fprintf(stderr, "qmSetVerboseEx failed\n");
        return 1;
    }
    if (qmGetVerboseEx(&level, logFile, &logFileSize) == 1) printf("log (verbosity %d): %s\n", level, logFile);

    return 0;
}
