#include "common/picture.h"

#include <cstring>
#include <utility>
#include <vector>

Picture NewPicture(int width, int height) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.stride = width;
  auto pens =
      std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(width) * static_cast<size_t>(height));
  picture.top_row = pens->data();
  picture.storage = std::move(pens);
  return picture;
}

Picture PictureFromPens(int width, int height, std::vector<uint8_t>&& pens, const Palette& palette) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.stride = width;
  picture.palette = palette;
  auto storage = std::make_shared<std::vector<uint8_t>>(std::move(pens));
  picture.top_row = storage->data();
  picture.storage = std::move(storage);
  return picture;
}

Picture PictureFromPens(int width, int height, const uint8_t* pens, const Palette& palette) {
  Picture picture = NewPicture(width, height);
  picture.palette = palette;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (count > 0) std::memcpy(picture.top_row, pens, count);
  return picture;
}
