// Reading the text chunks of real-size PNG files against the floor the scanner pays anyway:
// SHA-256 of the same files. Writes 500 synthetic 1-3 MB generator-like PNGs (RGBA noise, a
// NovelAI-style set of text chunks before the image data) into a temporary folder, warms the page
// cache, then times both over all files and reports the best of several rounds.
//
//   png_text_bench [--files N] [--idat-size BYTES] [--rounds N] [--keep]
//
// Exits 1 when reading the chunks costs more than 10% of hashing.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "metadata/generation_metadata_parser.h"
#include "metadata/png_text_chunk_reader.h"
#include "platform/sha256.h"
#include "support/png_builder.h"
#include "support/png_image.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string novelAIComment(std::size_t index) {
  std::string prompt = "masterpiece, best quality, 1girl, solo, looking at viewer, outdoors, scenery";
  for (std::size_t i = 0; i < 40; ++i) prompt += ", tag" + std::to_string((index * 7 + i) % 997);
  return R"({"prompt": ")" + prompt + R"(", "steps": 28, "height": 1216, "width": 832, "scale": 5.0,
    "uncond_scale": 0.0, "cfg_rescale": 0.0, "seed": )" +
         std::to_string(1'000'000 + index) + R"(, "n_samples": 1, "noise_schedule": "karras",
    "sampler": "k_euler_ancestral", "uc": "lowres, bad anatomy, bad hands, text, error, missing fingers",
    "request_type": "PromptGenerateRequest", "signed_hash": "abcdefghijklmnopqrstuvwxyz0123456789"})";
}

std::vector<std::string> writeFiles(const fs::path& folder, std::size_t count, std::size_t idatSize) {
  fs::create_directories(folder);
  std::vector<std::string> paths;
  std::uint64_t totalBytes = 0;
  for (std::size_t i = 0; i < count; ++i) {
    lorvex::testing::PNGImageSpec spec;
    // RGBA noise: 4 bytes a pixel, 1-3 MB per file.
    spec.width = 512 + static_cast<std::uint32_t>((i * 131) % 384);
    spec.height = 512 + static_cast<std::uint32_t>((i * 71) % 384);
    spec.colorType = lorvex::testing::PNGColorType::rgba;
    spec.compression = lorvex::testing::IDATCompression::stored;
    spec.idatChunkSize = idatSize;
    spec.noiseSeed = 0x9E3779B97F4A7C15ULL + i;
    spec.textChunks = {{"Title", "AI generated image"}, {"Description", "masterpiece, best quality, 1girl"},
                       {"Software", "NovelAI"},         {"Source", "NovelAI Diffusion V4.5 4BDE2A90"},
                       {"Generation time", "3.5"},      {"Comment", novelAIComment(i)}};
    const std::string bytes = lorvex::testing::encodePNGImage(spec);
    const std::string path = (folder / ("image-" + std::to_string(i) + ".png")).string();
    lorvex::testing::PNGBuilder(false).raw(bytes).writeTo(path);
    totalBytes += bytes.size();
    paths.push_back(path);
  }
  std::printf("wrote %zu files, %.1f MB (%.2f MB each on average), IDAT chunks of %zu bytes\n", count,
              static_cast<double>(totalBytes) / 1e6, static_cast<double>(totalBytes) / 1e6 / count, idatSize);
  return paths;
}

template <typename Work>
double bestSeconds(int rounds, Work work) {
  double best = 1e300;
  for (int round = 0; round < rounds; ++round) {
    const auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t files = 500;
  std::size_t idatSize = 65'536;
  int rounds = 5;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--files" && i + 1 < argc) {
      files = std::strtoul(argv[++i], nullptr, 10);
    } else if (argument == "--idat-size" && i + 1 < argc) {
      idatSize = std::strtoul(argv[++i], nullptr, 10);
    } else if (argument == "--rounds" && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else if (argument == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: %s [--files N] [--idat-size BYTES] [--rounds N] [--keep]\n", argv[0]);
      return 2;
    }
  }

  const fs::path folder = fs::temp_directory_path() / ("lorvex-png-text-bench-" + std::to_string(::getpid()));
  const std::vector<std::string> paths = writeFiles(folder, files, idatSize);

  const lorvex::GenerationMetadataParser parser;
  std::size_t sink = 0;
  const auto hashAll = [&] {
    for (const std::string& path : paths) sink += lorvex::platform::sha256HexOfFile(path)[0];
  };
  const auto readAll = [&] {
    for (const std::string& path : paths) sink += parser.reader.readFile(path).textChunkEntries.size();
  };
  const auto readAndParseAll = [&] {
    for (const std::string& path : paths)
      sink += parser.parse(parser.reader.readFile(path)).rawPayloads.size();
  };
  hashAll();  // warm the page cache: both sides read from memory
  const double hashing = bestSeconds(rounds, hashAll);
  const double reading = bestSeconds(rounds, readAll);
  const double readingAndParsing = bestSeconds(rounds, readAndParseAll);

  const double ratio = reading / hashing;
  std::printf("SHA-256 of every file (floor):   %8.2f ms  (%6.1f us/file)\n", hashing * 1e3,
              hashing * 1e6 / files);
  std::printf("read text chunks of every file:  %8.2f ms  (%6.1f us/file)  %.2f%% of hashing\n",
              reading * 1e3, reading * 1e6 / files, ratio * 100);
  std::printf("read and parse every file:       %8.2f ms  (%6.1f us/file)  %.2f%% of hashing\n",
              readingAndParsing * 1e3, readingAndParsing * 1e6 / files, readingAndParsing / hashing * 100);
  std::printf("(checksum %zu)\n", sink);
  if (!keep) fs::remove_all(folder);
  const bool pass = ratio <= 0.10;
  std::printf("%s: reading text chunks costs %s 10%% of hashing\n", pass ? "PASS" : "FAIL",
              pass ? "at most" : "more than");
  return pass ? 0 : 1;
}
