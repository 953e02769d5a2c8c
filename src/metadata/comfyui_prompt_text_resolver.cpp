#include "metadata/comfyui_prompt_text_resolver.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "metadata/json_document.h"
#include "model/text/whitespace.h"

namespace lorvex::comfyui {

using nlohmann::json;

namespace {

template <typename Integer>
std::string decimalText(Integer value) {
  std::array<char, 24> buffer{};
  auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), error == std::errc() ? end : buffer.data());
}

// Inputs tried in this order; for the first five a node's own non-blank text wins over its link.
constexpr std::array<std::string_view, 8> kInputNames{"text",  "t5xxl",        "prompt",   "string",
                                                      "value", "conditioning", "positive", "negative"};
constexpr int kLiteralInputCount = 5;
constexpr int kAllInputs = static_cast<int>(kInputNames.size());
// Stages before the input walk for the two node classes that behave differently.
constexpr int kWildcardStage = -1;
constexpr int kGuidanceStage = -2;

struct Frame {
  const json* node;
  const json* inputs;  // nothing when the node has no "inputs" object
  int stage;
  bool passesChildThrough;  // a guidance node answers with whatever its conditioning gives
};

struct Step {
  const json* child = nullptr;  // set: walk into this node next
  std::optional<std::string_view> text;
};

std::optional<std::string_view> nonBlankText(const json* value) {
  if (value == nullptr || !value->is_string()) return std::nullopt;
  std::string_view trimmed = text::trimmedWhitespace(value->get_ref<const std::string&>());
  if (trimmed.empty()) return std::nullopt;
  return trimmed;
}

Frame makeFrame(const json* node) {
  const json* classType = jsonMember(*node, "class_type");
  std::string_view className;
  if (classType != nullptr && classType->is_string()) className = classType->get_ref<const std::string&>();
  const json* inputs = jsonMember(*node, "inputs");
  if (inputs != nullptr && !inputs->is_object()) inputs = nullptr;
  if (className == "ImpactWildcardProcessor") return {node, inputs, kWildcardStage, false};
  if (className == "FluxGuidance") return {node, inputs, kGuidanceStage, true};
  return {node, inputs, 0, false};
}

const json* inputValue(const Frame& frame, std::string_view name) {
  return frame.inputs == nullptr ? nullptr : jsonMember(*frame.inputs, name);
}

// The next thing a node does: answer, or ask one of its linked nodes.
Step advance(Frame& frame, const json& graph) {
  if (frame.stage == kWildcardStage) {
    frame.stage = 0;
    if (auto populated = nonBlankText(inputValue(frame, "populated_text"))) return {nullptr, populated};
  }
  if (frame.stage == kGuidanceStage) {
    frame.stage = kAllInputs;
    return {linkedNode(inputValue(frame, "conditioning"), graph), std::nullopt};
  }
  while (frame.stage < kAllInputs) {
    const int stage = frame.stage++;
    const json* value = inputValue(frame, kInputNames[static_cast<std::size_t>(stage)]);
    if (stage < kLiteralInputCount) {
      if (auto literal = nonBlankText(value)) return {nullptr, literal};
    }
    if (const json* child = linkedNode(value, graph)) return {child, std::nullopt};
  }
  return {};
}

}  // namespace

std::optional<std::string> linkedNodeID(const json* input) {
  const json* value = input;
  while (value != nullptr && value->is_array()) {
    if (value->empty()) return std::nullopt;
    value = &value->front();
  }
  if (value == nullptr) return std::nullopt;
  switch (value->type()) {
    case json::value_t::string:
      return value->get_ref<const std::string&>();
    case json::value_t::number_integer:
      return decimalText(value->get<std::int64_t>());
    case json::value_t::number_unsigned:
      return decimalText(value->get<std::uint64_t>());
    case json::value_t::number_float: {
      // A whole number written with a fraction part ("6.0") still names node "6"; anything that
      // is not exactly an int64 names nothing (converting it would be undefined).
      const double number = value->get<double>();
      if (!std::isfinite(number) || std::trunc(number) != number || number < -0x1p63 || number >= 0x1p63) {
        return std::nullopt;
      }
      return decimalText(static_cast<std::int64_t>(number));
    }
    default:
      return std::nullopt;
  }
}

const json* linkedNode(const json* input, const json& graph) {
  if (!graph.is_object() || graph.empty()) return nullptr;
  auto id = linkedNodeID(input);
  if (!id) return nullptr;
  const json* node = jsonMember(graph, *id);
  return node != nullptr && node->is_object() ? node : nullptr;
}

std::optional<std::string_view> PromptTextResolver::resolve(const json* input) {
  const json* root = linkedNode(input, graph_);
  if (root == nullptr) return std::nullopt;
  if (auto known = outcomes_.find(root); known != outcomes_.end()) return known->second.text;

  std::vector<Frame> path;
  outcomes_.try_emplace(root);
  path.push_back(makeFrame(root));
  // Engaged when the node on top of `path` has just been answered by the child it asked.
  std::optional<std::optional<std::string_view>> childAnswer;
  while (!path.empty()) {
    Frame& frame = path.back();
    Step step;
    if (childAnswer && (*childAnswer || frame.passesChildThrough)) {
      step.text = *childAnswer;
    } else {
      step = advance(frame, graph_);
    }
    childAnswer.reset();

    if (step.child == nullptr) {
      outcomes_[frame.node] = {true, step.text};
      path.pop_back();
      childAnswer = step.text;
      continue;
    }
    auto [known, isNew] = outcomes_.try_emplace(step.child);
    if (isNew) {
      path.push_back(makeFrame(step.child));  // `frame` is not used past this point
    } else {
      // A node still on the path (a cycle) answers nothing; a finished one answers what it found.
      childAnswer = known->second.finished ? known->second.text : std::nullopt;
    }
  }
  return childAnswer ? *childAnswer : std::nullopt;
}

}  // namespace lorvex::comfyui
