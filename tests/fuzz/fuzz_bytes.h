// Turns fuzz bytes into choices. Reading past the end gives zeros, so every input, however
// short, still describes a complete case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace knnfuzz {

class FuzzBytes {
 public:
  FuzzBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  bool Flag() { return (Byte() & 1u) != 0; }
  // A value in [low, high]; high >= low.
  int Range(int low, int high) {
    const unsigned span = static_cast<unsigned>(high - low) + 1u;
    unsigned value = Byte();
    if (span > 256u) value = (value << 8) | Byte();
    return low + static_cast<int>(value % span);
  }
  // A value on a grid of 256 steps between low and high (repeats are likely, as in real
  // data, and so are ties in distances).
  double Between(double low, double high) { return low + (high - low) * (Byte() / 255.0); }
  // A short text drawn from alphabet.
  std::string Text(const std::string& alphabet, size_t maxLength) {
    const size_t length = static_cast<size_t>(Range(0, static_cast<int>(maxLength)));
    std::string text;
    for (size_t i = 0; i < length; ++i) {
      text += alphabet[static_cast<size_t>(Range(0, static_cast<int>(alphabet.size()) - 1))];
    }
    return text;
  }
  bool Exhausted() const { return pos_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace knnfuzz
