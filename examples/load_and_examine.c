/* Loads a sequence file of any kind the library reads and prints what it holds.
 *
 *   load_and_examine FILE
 */
#include <stdio.h>

#include "qmv3/qmv3.h"

/* The name of a pixel format of the public header. */
static const char* FormatText(int format) {
    switch (format) {
        case QMV3_FORMAT_GRAY:
            return "GRAY";
        case QMV3_FORMAT_RGB:
            return "RGB";
        case QMV3_FORMAT_JPEG:
            return "JPEG";
        default:
            return "another format";
    }
}

int main(int argc, char** argv) {
    QMBUNCHOFIMAGES images;
    char message[512];
    const DIMAGE* first;
    const DIMAGE* last;
    int kind, loaded;

    if (argc != 2) {
        fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    kind = qmCheckFileFormat(argv[1], message, sizeof message);
    if (kind < 0) {
        fprintf(stderr, "%s\n", message);
        return 1;
    }

    qmInitializeBunchStructure(&images);
    loaded = qmLoadImagesFromFileEx(argv[1], &images, NULL, NULL, message, sizeof message);
    if (loaded != 0) {
        fprintf(stderr, "%s\n", message);
        return 1;
    }
    first = &images.imageArray[0];
    last = &images.imageArray[images.numFrames - 1];

    printf("%s: kind %d (3 IMC2/BKC2, 2 IMC/BKC, 1 BKG, 0 IMM)\n", argv[1], kind);
    printf("%u images of %d x %d pixels, %s, %d byte(s) per pixel\n", images.numFrames, first->frameHeader.sourceWidth,
           first->frameHeader.sourceHeight, FormatText(first->frameHeader.imageFormat),
           first->frameHeader.bytesPerPixel);
    printf("frame numbers %u to %u, %s\n", first->frameHeader.frameNumber, last->frameHeader.frameNumber,
           qmIsCompleteSequence(&images) == 1 ? "complete" : "not complete");

    qmFreeBunch(&images);
    return 0;
}
