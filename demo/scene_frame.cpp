#include "demo/scene_frame.h"

#include <GL/glu.h>

void ApplyLookAt(const LookAt& camera) {
  gluLookAt(camera.eye[0], camera.eye[1], camera.eye[2], camera.centre[0], camera.centre[1],
            camera.centre[2], 0, 1, 0);
}
