// Tag extraction on realistic 1-2 KB prompts of both dialects (beside a floor that only
// collapses the prompt's whitespace), and on adversarial inputs of growing size, where time per
// byte must stay flat.
#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

#include "model/prompt_tags.h"
#include "model/prompt_whitespace.h"

namespace {

std::string repeatToSize(const std::string& unit, std::size_t size) {
  std::string out;
  out.reserve(size + unit.size());
  while (out.size() < size) out += unit;
  return out;
}

const std::string& novelAIPrompt() {
  static const std::string prompt = repeatToSize(
      "{{masterpiece}}, best quality, amazing quality, very aesthetic, 1girl, solo, 1.2::artist:foo::, "
      "0.8::artist:bar::, [[bad hands]], long hair, {blue eyes}, looking at viewer, smile, outdoors, "
      "cherry blossoms, -1::monochrome::, cat|dog, year 2024, {{{detailed background}}}, ",
      1536);
  return prompt;
}

const std::string& stableDiffusionPrompt() {
  static const std::string prompt = repeatToSize(
      "masterpiece, (best quality:1.2), ultra-detailed, 1girl, solo, (long hair:1.1), [blurry], "
      "looking at viewer, (red eyes, smile:1.1), \\(artist\\), <lora:detail_tweaker:0.8>, outdoors, "
      "((cherry blossoms)), (depth of field:0.9), [[simple background]], ",
      1536);
  return prompt;
}

const std::string& japanesePrompt() {
  static const std::string prompt = repeatToSize(
      "\xE5\x82\x91\xE4\xBD\x9C, \xE6\x9C\x80\xE9\xAB\x98\xE5\x93\x81\xE8\xB3\xAA, "
      "(\xE5\xB0\x91\xE5\xA5\xB3:1.2), [\xE9\x95\xB7\xE3\x81\x84\xE9\xAB\xAA], "
      "\xE7\xAC\x91\xE9\xA1\x94\xE3\x80\x80\xE5\xB1\x8B\xE5\xA4\x96, caf\x65\xCC\x81, ",
      1536);
  return prompt;
}

void run(benchmark::State& state, const std::string& prompt, bool stableDiffusion) {
  for (auto _ : state) benchmark::DoNotOptimize(lorvex::extractPromptTags(prompt, stableDiffusion));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(prompt.size()));
}

void BM_FloorCollapseWhitespace(benchmark::State& state) {
  const std::string& prompt = novelAIPrompt();
  for (auto _ : state) benchmark::DoNotOptimize(lorvex::collapsePromptWhitespace(prompt));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(prompt.size()));
}
void BM_ExtractNovelAI(benchmark::State& state) {
  run(state, novelAIPrompt(), false);
}
void BM_ExtractStableDiffusion(benchmark::State& state) {
  run(state, stableDiffusionPrompt(), true);
}
void BM_ExtractJapaneseNovelAI(benchmark::State& state) {
  run(state, japanesePrompt(), false);
}
void BM_ExtractJapaneseStableDiffusion(benchmark::State& state) {
  run(state, japanesePrompt(), true);
}

BENCHMARK(BM_FloorCollapseWhitespace);
BENCHMARK(BM_ExtractNovelAI);
BENCHMARK(BM_ExtractStableDiffusion);
BENCHMARK(BM_ExtractJapaneseNovelAI);
BENCHMARK(BM_ExtractJapaneseStableDiffusion);

// Adversarial inputs: each builder makes a prompt of about n bytes.
struct Adversary {
  const char* name;
  std::function<std::string(std::size_t)> build;
};

const std::vector<Adversary>& adversaries() {
  static const std::vector<Adversary> list = {
      {"digits", [](std::size_t n) { return std::string(n, '7'); }},
      {"colons_then_x", [](std::size_t n) { return std::string(n - 1, ':') + "x"; }},
      {"brace_colons", [](std::size_t n) { return repeatToSize("{::", n); }},
      {"weights", [](std::size_t n) { return repeatToSize("1.2::tag:: ", n); }},
      {"bare_weights", [](std::size_t n) { return "x " + repeatToSize("1:: ", n) + "1::"; }},
      {"bare_weights_then_colon_brackets",
       [](std::size_t n) { return "x " + repeatToSize("1:: ", n / 2) + "1" + repeatToSize("::]", n / 2); }},
      {"colon_brackets", [](std::size_t n) { return repeatToSize("7", n / 2) + repeatToSize("::]", n / 2); }},
      {"nested_groups",
       [](std::size_t n) {
         return std::string(n / 3, '(') + std::string(n / 3, '1') + std::string(n / 3, ')');
       }},
      {"stacked_weights", [](std::size_t n) { return std::string(n / 4, '(') + repeatToSize("1)", n / 2); }},
      {"escapes", [](std::size_t n) { return repeatToSize("\\(a:1\\), ", n); }},
  };
  return list;
}

void BM_Adversarial(benchmark::State& state) {
  const Adversary& adversary = adversaries()[static_cast<std::size_t>(state.range(0))];
  const bool stableDiffusion = state.range(1) != 0;
  const auto size = static_cast<std::size_t>(state.range(2));
  const std::string prompt = adversary.build(size);
  state.SetLabel(std::string(adversary.name) + (stableDiffusion ? "/sd" : "/novelai"));
  for (auto _ : state) benchmark::DoNotOptimize(lorvex::extractPromptTags(prompt, stableDiffusion));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(prompt.size()));
}

void adversarialArguments(benchmark::internal::Benchmark* benchmark) {
  for (int adversary = 0; adversary < static_cast<int>(adversaries().size()); ++adversary) {
    for (int dialect = 0; dialect < 2; ++dialect) {
      for (int size : {1 << 16, 1 << 18, 1 << 20}) benchmark->Args({adversary, dialect, size});
    }
  }
}

BENCHMARK(BM_Adversarial)->Apply(adversarialArguments)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
