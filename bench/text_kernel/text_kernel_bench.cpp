// The text kernel on realistic 1 KB prompts (ASCII and Japanese), each measured beside a plain copy
// of the same bytes as the floor.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "model/text/graphemes.h"
#include "model/text/numbers.h"
#include "model/text/paths.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace {

std::string repeatToSize(const std::string& unit, std::size_t size) {
  std::string out;
  while (out.size() < size) out += unit;
  return out;
}

const std::string& asciiPrompt() {
  static const std::string prompt = repeatToSize(
      "masterpiece, best quality, 1girl, Solo, (long hair:1.2), looking at viewer,  smile,\n"
      "blue eyes, [blurry background], outdoors, cherry blossoms, <lora:detail:0.8>, ",
      1024);
  return prompt;
}

const std::string& japanesePrompt() {
  static const std::string prompt = repeatToSize(
      "\xE5\x82\x91\xE4\xBD\x9C\xE3\x80\x81\xE6\x9C\x80\xE9\xAB\x98\xE5\x93\x81\xE8\xB3\xAA\xE3\x80\x81"
      "\xE5\xB0\x91\xE5\xA5\xB3\xE3\x80\x80\xE4\xB8\x80\xE4\xBA\xBA\xE3\x80\x81\xE9\x95\xB7\xE3\x81\x84"
      "\xE9\xAB\xAA\xE3\x80\x81\xE7\xAC\x91\xE9\xA1\x94, \xE3\x82\xAB\xE3\x83\x95\xE3\x82\xA7\xE3\x81\xA7"
      "\xE3\x82\xB3\xE3\x83\xBC\xE3\x83\x92\xE3\x83\xBC, Caf\x65\xCC\x81, ",
      1024);
  return prompt;
}

template <typename Function>
void run(benchmark::State& state, const std::string& text, Function function) {
  for (auto _ : state) benchmark::DoNotOptimize(function(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

const std::string& promptFor(const benchmark::State& state) {
  return state.range(0) == 0 ? asciiPrompt() : japanesePrompt();
}

void BM_FloorCopy(benchmark::State& state) {
  run(state, promptFor(state), [](const std::string& t) { return std::string(t); });
}
void BM_IsValidUTF8(benchmark::State& state) {
  run(state, promptFor(state), [](const std::string& t) { return lorvex::text::isValidUTF8(t); });
}
void BM_Lowercased(benchmark::State& state) {
  run(state, promptFor(state), [](const std::string& t) { return lorvex::text::lowercased(t); });
}
void BM_NFC(benchmark::State& state) {
  run(state, promptFor(state), [](const std::string& t) { return lorvex::text::nfc(t); });
}
void BM_CollapsedWhitespace(benchmark::State& state) {
  run(state, promptFor(state), [](const std::string& t) { return lorvex::text::collapsedWhitespace(t); });
}
void BM_NormalizedWhitespace(benchmark::State& state) {
  run(state, promptFor(state), [](const std::string& t) { return lorvex::text::normalizedWhitespace(t); });
}
void BM_GraphemeBoundaries(benchmark::State& state) {
  run(state, promptFor(state), [](const std::string& t) { return lorvex::text::graphemeBoundaries(t); });
}

BENCHMARK(BM_FloorCopy)->Arg(0)->Arg(1);
BENCHMARK(BM_IsValidUTF8)->Arg(0)->Arg(1);
BENCHMARK(BM_Lowercased)->Arg(0)->Arg(1);
BENCHMARK(BM_NFC)->Arg(0)->Arg(1);
BENCHMARK(BM_CollapsedWhitespace)->Arg(0)->Arg(1);
BENCHMARK(BM_NormalizedWhitespace)->Arg(0)->Arg(1);
BENCHMARK(BM_GraphemeBoundaries)->Arg(0)->Arg(1);

void BM_ParseReal(benchmark::State& state) {
  const std::vector<std::string> texts = {"7.5", "1700000000.123456", "-0.25", "28", "1e-05", "not a number"};
  for (auto _ : state) {
    for (const auto& text : texts) benchmark::DoNotOptimize(lorvex::text::parseReal(text));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * texts.size()));
}
void BM_ParseInt64(benchmark::State& state) {
  const std::vector<std::string> texts = {"28", "1234567890123", "-1", "+42", "12a"};
  for (auto _ : state) {
    for (const auto& text : texts) benchmark::DoNotOptimize(lorvex::text::parseInt64(text));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * texts.size()));
}
void BM_FormatDouble(benchmark::State& state) {
  const std::vector<double> values = {1700000000.0, 1733582400.123456, 0.5, 1e-05, 7.0};
  for (auto _ : state) {
    for (const double value : values) benchmark::DoNotOptimize(lorvex::text::formatDouble(value));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * values.size()));
}
void BM_StandardizedPath(benchmark::State& state) {
  const std::vector<std::string> paths = {"/home/user/Pictures/novelai/2024-05-01/image_0001.png",
                                          "/home/user/Pictures/./comfy/../a1111/out/00012-123456.png",
                                          "/home/user/Pictures/nested/folder/"};
  for (auto _ : state) {
    for (const auto& path : paths) benchmark::DoNotOptimize(lorvex::text::standardizedPath(path));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths.size()));
}

BENCHMARK(BM_ParseReal);
BENCHMARK(BM_ParseInt64);
BENCHMARK(BM_FormatDouble);
BENCHMARK(BM_StandardizedPath);

}  // namespace

BENCHMARK_MAIN();
