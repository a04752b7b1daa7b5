/* The main job until the command-line tool takes over: print the library information and write one
 * line into the library's log. */
#include <stdio.h>

#include "qmv3/qmv3.h"

int main(void) {
    unsigned major = 0, minor = 0, third = 0;
    char text[200];
    unsigned size = sizeof text;

    if (qmLibraryInfoEx(&major, &minor, &third, text, &size) == NULL) {
        fprintf(stderr, "qmLibraryInfoEx failed\n");
        return 1;
    }
    printf("%s\nversion %u.%u.%u\n", text, major, minor, third);

    return 0;
}
