// Follows the links of a ComfyUI prompt graph from a sampler input back to the node that holds the
// prompt text.
//
// A graph is a JSON object from node id to {"class_type": …, "inputs": {…}}; an input is a literal
// or a link [source id, output index]. Graphs come from arbitrary files, so the walk is bounded:
// it runs on an explicit stack (a chain of 100,000 nodes does not grow the call stack) and
// remembers the outcome of every node it has finished (nodes shared by many paths are walked once,
// so the work is linear in the size of the graph). A node met again on the current path cuts that
// path, which ends cycles. For graphs without cycles the result is exactly that of a depth-first
// walk that stops at the first text; in a cyclic graph a node cut on one path keeps that outcome
// for the rest of the walk.
//
// Thread safety: a resolver belongs to one thread; the free functions are pure. Texts returned as
// views point into the graph, which must outlive them.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace lorvex::comfyui {

// The node id an input refers to: a text as it is (so a plain text input is also tried as an id),
// an integer as its decimal text, an array by its first element. Anything else, a number with a
// fraction and booleans included, refers to nothing.
std::optional<std::string> linkedNodeID(const nlohmann::json* input);

// The object node that `input` links to in `graph`, or nothing when the link is absent, names no
// node, or names a value that is not an object.
const nlohmann::json* linkedNode(const nlohmann::json* input, const nlohmann::json& graph);

class PromptTextResolver {
 public:
  explicit PromptTextResolver(const nlohmann::json& graph) : graph_(graph) {}

  // The prompt text reached from `input` (trimmed of whitespace), or nothing. Each node tries, in
  // order: a wildcard processor's populated text; for a guidance node only its conditioning; the
  // inputs "text", "t5xxl", "prompt", "string", "value" (own non-blank text first, then the link);
  // then the links of "conditioning", "positive", "negative".
  std::optional<std::string_view> resolve(const nlohmann::json* input);

 private:
  struct Outcome {
    bool finished = false;  // false while the node is on the current path
    std::optional<std::string_view> text;
  };

  const nlohmann::json& graph_;
  std::unordered_map<const nlohmann::json*, Outcome> outcomes_;
};

}  // namespace lorvex::comfyui
