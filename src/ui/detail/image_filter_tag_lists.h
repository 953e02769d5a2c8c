// The two tag groups the inspector lists for one image: its character tags, read from the
// character captions with the NovelAI prompt rules whatever the image's provider, and its prompt
// tags, the indexed tags in stored order without those already listed as character tags (compared
// by tag key) and without blank ones. Prompt tags that repeat stay, one chip each. Each list
// ends with its kMaximumStoredPromptTagCount-th tag, what the library keeps of an image indexed
// now: a record stored before that bound, or captions of a million tags, cost the inspector no
// more than that.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "model/image_record.h"

namespace lorvex::ui {

struct ImageFilterTagGroups {
  std::vector<std::string> characterTags;
  std::vector<std::string> promptTags;

  bool isEmpty() const { return characterTags.empty() && promptTags.empty(); }
  friend bool operator==(const ImageFilterTagGroups&, const ImageFilterTagGroups&) = default;
};

// Whitespace trimmed at both ends, every inner run one space, lowercased (root locale).
std::string filterTagKey(std::string_view tag);

std::vector<std::string> imageCharacterTags(const GenerationMetadata& metadata);
std::vector<std::string> imagePromptTags(const std::vector<std::string>& promptTags,
                                         const std::vector<std::string>& characterTags);
ImageFilterTagGroups makeImageFilterTagGroups(const ImageRecord& record);

// The objectNames of the chips of the first `count` tags: "detail.tag." + the tag's stable hash,
// and for the second and later chips of a repeated tag within one list, "." + the chip's position
// in that list.
std::vector<std::string> tagChipIdentifiers(const std::vector<std::string>& tags,
                                            std::size_t count = std::numeric_limits<std::size_t>::max());

}  // namespace lorvex::ui
