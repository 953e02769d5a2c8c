// Where a tag of an image came from: its prompt, a character prompt or caption, or both. Stored
// per image and tag as the integer raw value.
//
// Thread safety: a constexpr value type.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace lorvex {

class ImageTagSourceMask {
 public:
  static const ImageTagSourceMask prompt;     // 1
  static const ImageTagSourceMask character;  // 2

  constexpr ImageTagSourceMask() = default;
  // Any bits are kept, including ones no member names, so a stored value reads back unchanged.
  constexpr explicit ImageTagSourceMask(std::int64_t rawValue) : rawValue_(rawValue) {}
  constexpr ImageTagSourceMask(std::initializer_list<ImageTagSourceMask> members) {
    for (ImageTagSourceMask member : members) rawValue_ |= member.rawValue_;
  }

  constexpr std::int64_t rawValue() const { return rawValue_; }
  constexpr bool isEmpty() const { return rawValue_ == 0; }
  // True when every member of `other` is in this set.
  constexpr bool contains(ImageTagSourceMask other) const {
    return (rawValue_ & other.rawValue_) == other.rawValue_;
  }
  constexpr bool isDisjoint(ImageTagSourceMask other) const { return (rawValue_ & other.rawValue_) == 0; }

  constexpr void insert(ImageTagSourceMask members) { rawValue_ |= members.rawValue_; }
  constexpr void remove(ImageTagSourceMask members) { rawValue_ &= ~members.rawValue_; }

  friend constexpr ImageTagSourceMask operator|(ImageTagSourceMask a, ImageTagSourceMask b) {
    return ImageTagSourceMask(a.rawValue_ | b.rawValue_);
  }
  friend constexpr ImageTagSourceMask operator&(ImageTagSourceMask a, ImageTagSourceMask b) {
    return ImageTagSourceMask(a.rawValue_ & b.rawValue_);
  }
  friend constexpr ImageTagSourceMask operator^(ImageTagSourceMask a, ImageTagSourceMask b) {
    return ImageTagSourceMask(a.rawValue_ ^ b.rawValue_);
  }
  // The members of `a` that are not in `b`.
  friend constexpr ImageTagSourceMask operator-(ImageTagSourceMask a, ImageTagSourceMask b) {
    return ImageTagSourceMask(a.rawValue_ & ~b.rawValue_);
  }
  friend constexpr bool operator==(ImageTagSourceMask, ImageTagSourceMask) = default;

 private:
  std::int64_t rawValue_ = 0;
};

inline constexpr ImageTagSourceMask ImageTagSourceMask::prompt(std::int64_t{1});
inline constexpr ImageTagSourceMask ImageTagSourceMask::character(std::int64_t{2});

}  // namespace lorvex
