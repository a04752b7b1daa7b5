// The default simulated camera with the moving test pattern instead of the scene, for tests that check
// exact pixel values.
#ifndef QMV3_TESTS_COMMON_PATTERN_CAMERA_H
#define QMV3_TESTS_COMMON_PATTERN_CAMERA_H

namespace qmv3test {

// Serves /SIM/CAMSERVER/CAM0 with its four properties (source="pattern") until the next zantsim_Reset.
void ServePatternCamera();

}  // namespace qmv3test

#endif
