#pragma once

#include "engine/image_buffer.h"

namespace tolvane {

// Turns a picture stored with EXIF orientation 2 to 8 upright, so that it
// shows as the camera meant it: 2 to 4 mirror in place; 5 to 8 replace the
// image by a transposed copy whose width and height are swapped. Orientation
// 1 and unknown values leave the image as it is. False when the copy cannot
// be made.
bool MakeUpright(ImageBuffer& image, int orientation);

}  // namespace tolvane
