#include "gui/browser/IconImages.h"

#include <QPixmap>
#include <vector>

#include "formats/IconTable.h"

namespace zub {
namespace {

QImage BuildImage(int image) {
  QImage img(kIconSize, kIconSize, QImage::Format_ARGB32);
  const TIconPixels pixels = IconPixels(image);
  for (int y = 0; y < kIconSize; ++y)
    for (int x = 0; x < kIconSize; ++x)
      img.setPixel(x, y, pixels[static_cast<std::size_t>(y * kIconSize + x)]);
  return img;
}

}  // namespace

const QImage& IconImage(int image) {
  static const std::vector<QImage> images = [] {
    std::vector<QImage> v;
    for (int i = 0; i <= kIconImageCount; ++i) v.push_back(BuildImage(i));
    return v;
  }();
  if (image < 0 || image >= kIconImageCount) return images.back();  // transparent
  return images[static_cast<std::size_t>(image)];
}

QIcon IconOf(int image) {
  return QIcon(QPixmap::fromImage(IconImage(image)));
}

}  // namespace zub
