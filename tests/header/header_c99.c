/* Compiled as strict C99: the public header must be valid C, and the records must have the layout
 * that the control system and the files rely on. */
#include <stdio.h>
#include <string.h>

#include "qmv3/qmv3.h"

int main(void) {
    DIMAGE image;
    QMBUNCHOFIMAGES sequence;
    VIDINFHDR record;
    NAME64I named;
    char text[200];
    unsigned size = sizeof text;
    unsigned major = 9, minor = 9;

    memset(&image, 0, sizeof image);
    memset(&sequence, 0, sizeof sequence);
    memset(&record, 0, sizeof record);
    memset(&named, 0, sizeof named);
    if (sizeof image != 200 || sizeof named != 68) return 1;
    if (qmLibraryInfo(&major, &minor, text, &size) == NULL || major != 1 || minor != 0) {
        fprintf(stderr, "qmLibraryInfo failed\n");
        return 1;
    }
    return 0;
}
