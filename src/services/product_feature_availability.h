// Which optional product features the application offers. The composed application turns the
// tag-concept features off.
//
// Thread safety: a plain value.
#pragma once

namespace lorvex {

struct ProductFeatureAvailability {
  bool isTagConceptEnabled = false;

  friend bool operator==(const ProductFeatureAvailability&, const ProductFeatureAvailability&) = default;
};

}  // namespace lorvex
