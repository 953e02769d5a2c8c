#include "model/prompt_whitespace.h"

#include "model/text/whitespace.h"

namespace lorvex {

std::string collapsePromptWhitespace(std::string_view text) {
  return text::collapsedWhitespace(text::trimmedWhitespace(text));
}

}  // namespace lorvex
