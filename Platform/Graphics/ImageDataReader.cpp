#include "Platform/Graphics/ImageDataReader.h"

#include <algorithm>
#include <cstring>

namespace platform::detail {

std::size_t ImageDataReader::read(std::uint8_t* out, std::size_t length) {
  const std::size_t given = std::min(length, data_.size() - position_);
  if (given < length) ranOut_ = true;
  if (given > 0) std::memcpy(out, data_.data() + position_, given);
  position_ += given;
  return given;
}

}  // namespace platform::detail
