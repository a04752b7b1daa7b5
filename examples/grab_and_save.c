/* Grabs frames from a camera and saves them to a file: the smallest complete application of the
 * library. With no real control system the stand-in's simulated camera answers.
 *
 *   grab_and_save OUT [FRAMES]      e.g. grab_and_save run.imc2 10
 */
#include <stdio.h>
#include <stdlib.h>

#include "qmv3/qmv3.h"

int main(int argc, char** argv) {
    const char* address = "/SIM/CAMSERVER/CAM0";
    const char* property = "Frame";
    unsigned frames = 10;
    QMBUNCHOFIMAGES images;
    int error = 0, zantError = 0, received, saved;
    char message[512];

    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: %s OUT [FRAMES]\n", argv[0]);
        return 2;
    }
    if (argc == 3) frames = (unsigned)strtoul(argv[2], NULL, 10);

    /* A sequence must be empty before a grab fills it. */
    qmInitializeBunchStructure(&images);
    /* 300 ms between frames, the fastest access rate the library recommends (300 to 4000 ms), with
     * TIMER access (3); no interrupt flag and no progress value. */
    received = qmGrabFramesEx(&images, address, property, frames, 300, 3, &error, &zantError, NULL, NULL);
    if (error != 0) {
        fprintf(stderr, "grab failed: error %d, control-system code %d, %d frames received\n", error, zantError,
                received);
        qmFreeBunch(&images);
        return 1;
    }
    if (qmIsCompleteSequence(&images) != 1) fprintf(stderr, "warning: frame numbers have gaps\n");

    /* The extension chooses the format; IMC2 files are never overwritten. */
    saved = qmSaveImagesToFileEx(&images, argv[1], message, sizeof message, NULL, NULL);
    if (saved != 0) {
        fprintf(stderr, "%s\n", message);
        qmFreeBunch(&images);
        return 1;
    }
    printf("%d frames of %s %s saved to %s\n", received, address, property, argv[1]);
    qmFreeBunch(&images);
    return 0;
}
