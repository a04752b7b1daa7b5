/* Grabs ten frames, saves them as an IMC2 file and loads them back. Build:
 * cc -std=c99 grab_save_load.c $(pkg-config --cflags --libs qmv3) */
#include <stdio.h>

#include "qmv3/qmv3.h"

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "run.imc2";
    QMBUNCHOFIMAGES grabbed, loaded;
    int error = 0, zantError = 0, code;
    char message[512];
    qmInitializeBunchStructure(&grabbed);
    qmInitializeBunchStructure(&loaded);
    /* A count comes back; success is told by error alone. */
    int received = qmGrabFramesEx(&grabbed, "/SIM/CAMSERVER/CAM0", "Frame", 10, QMV3_GRAB_RATE_MIN_RECOMMENDED,
                                  QMV3_CM_TIMER, &error, &zantError, NULL, NULL);
    if (error != QMV3_GRAB_OK || qmIsCompleteSequence(&grabbed) != QMV3_SEQUENCE_YES) {
        fprintf(stderr, "grab: error %d, control system code %d, %d frames\n", error, zantError, received);
    } else if ((code = qmSaveImagesToFileEx(&grabbed, path, message, sizeof message, NULL, NULL)) != QMV3_SAVE_OK) {
        fprintf(stderr, "save (%d): %s\n", code, message);
    } else if ((code = qmLoadImagesFromFileEx(path, &loaded, NULL, NULL, message, sizeof message)) != QMV3_LOAD_OK) {
        fprintf(stderr, "load (%d): %s\n", code, message);
    } else {
        printf("%u frames saved to %s and loaded back\n", loaded.numFrames, path);
    }
    int status = loaded.numFrames == 10 ? 0 : 1;
    qmFreeBunch(&grabbed);
    qmFreeBunch(&loaded);
    return status;
}
