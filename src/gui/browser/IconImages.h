// The icon table's 148 images as pixmaps, built once from the core's pixels.
#pragma once

#include <QIcon>
#include <QImage>

namespace zub {

// Image `image` (0..147), 12 x 12 with transparency; a transparent one outside.
const QImage& IconImage(int image);
QIcon IconOf(int image);

}  // namespace zub
