// The raw payloads of a PNG keyword-to-text map, as the library database stores them when it has
// no entry list to go by.
//
// Thread safety: pure function.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "model/generation_metadata.h"

namespace lorvex {

// One payload per map entry, sorted by keyword (byte order, which is code-point order for UTF-8):
// container "png_text", key = the keyword, occurrenceIndex 0, text = the value, parseStatus
// "observed", no parseWarning. An empty map gives an empty list.
std::vector<RawMetadataPayload> makeRawPayloads(const std::map<std::string, std::string>& textChunks);

}  // namespace lorvex
