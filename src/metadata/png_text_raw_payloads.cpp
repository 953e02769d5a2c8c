#include "metadata/png_text_raw_payloads.h"

namespace lorvex {

std::vector<RawMetadataPayload> makeRawPayloads(const std::map<std::string, std::string>& textChunks) {
  std::vector<RawMetadataPayload> payloads;
  payloads.reserve(textChunks.size());
  // std::map iterates in keyword byte order, the sorted order callers rely on.
  for (const auto& [keyword, text] : textChunks) {
    payloads.push_back(RawMetadataPayload{"png_text", keyword, 0, text, "observed", std::nullopt});
  }
  return payloads;
}

}  // namespace lorvex
