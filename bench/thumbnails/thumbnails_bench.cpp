// Thumbnail generation speed against its floor: decoding the same PNG files with libspng into a
// full RGBA buffer and nothing else. Two data sets: the full-size real generator images of the
// shared fixtures (when present), and synthetic 832x1216 RGBA images shaped like NovelAI output.
//
//   thumbnails_bench [--benchmark_filter=...]
//
// Compare items_per_second of BM_Thumbnail/<set> with BM_BareDecode/<set>.
#include <benchmark/benchmark.h>
#include <spng.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/regular_file.h"
#include "platform/test_png_encoder.h"
#include "platform/thumbnail_codec.h"

namespace {

namespace fs = std::filesystem;

struct DataSet {
  std::vector<std::string> files;
  std::string outputFolder;
};

fs::path scratchFolder() {
  // Never destroyed, so that the exit handler that removes it can still read it.
  static const fs::path* const folder = [] {
    std::string pattern = (fs::temp_directory_path() / "lorvex-thumbnail-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(scratchFolder(), ignored);
    });
    return new fs::path(pattern);
  }();
  return *folder;
}

const DataSet& realImages() {
  static const DataSet set = [] {
    DataSet data;
    const fs::path fixtures = fs::path(LORVEX_FIXTURES_DIR) / "sd-metadata";
    if (fs::exists(fixtures)) {
      for (const auto& entry : fs::directory_iterator(fixtures)) {
        if (entry.path().extension() == ".png") data.files.push_back(entry.path());
      }
    }
    data.outputFolder = scratchFolder() / "real-out";
    fs::create_directories(data.outputFolder);
    return data;
  }();
  return set;
}

// Smooth gradients with a little noise and a soft alpha edge: compresses to about 1-2 MB like a
// generated picture, rather than to nothing (flat colour) or not at all (pure noise).
const DataSet& syntheticImages() {
  static const DataSet set = [] {
    DataSet data;
    const fs::path folder = scratchFolder() / "synthetic";
    fs::create_directories(folder);
    for (int index = 0; index < 6; ++index) {
      std::mt19937 random(static_cast<unsigned>(index));
      lorvex::testing::TestPNG spec;
      spec.width = 832;
      spec.height = 1216;
      spec.colorType = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
      spec.pixel = [&](std::uint32_t x, std::uint32_t y) {
        const auto noise = static_cast<std::uint8_t>(random() & 7);
        return lorvex::testing::Rgba{static_cast<std::uint8_t>((x * 255 / 832 + noise + index * 40) & 0xff),
                                     static_cast<std::uint8_t>((y * 255 / 1216 + noise) & 0xff),
                                     static_cast<std::uint8_t>(((x ^ y) >> 3) + noise),
                                     static_cast<std::uint8_t>(x < 16 ? x * 16 : 255)};
      };
      const auto png = lorvex::testing::encodeTestPNG(spec);
      const std::string path = folder / ("image" + std::to_string(index) + ".png");
      std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), png.size());
      data.files.push_back(path);
    }
    data.outputFolder = scratchFolder() / "synthetic-out";
    fs::create_directories(data.outputFolder);
    return data;
  }();
  return set;
}

// Runs `work` over the files in turn, one file per iteration; `work` returns the bytes it read.
template <typename Work>
void overFiles(benchmark::State& state, const DataSet& data, Work&& work) {
  if (data.files.empty()) {
    state.SkipWithError("no images (fixtures absent)");
    return;
  }
  std::size_t index = 0;
  std::size_t bytes = 0;
  for (auto _ : state) bytes += work(index++ % data.files.size());
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

void bareDecode(benchmark::State& state, const DataSet& data) {
  overFiles(state, data, [&](std::size_t which) {
    // The same reading path as the thumbnail pipeline, then a whole-image decode.
    const auto png = lorvex::platform::RegularFile(data.files[which]).readAll(std::size_t{1} << 28);
    spng_ctx* context = spng_ctx_new(0);
    spng_set_png_buffer(context, png.data(), png.size());
    std::size_t size = 0;
    spng_decoded_image_size(context, SPNG_FMT_RGBA8, &size);
    std::vector<unsigned char> pixels(size);
    if (spng_decode_image(context, pixels.data(), pixels.size(), SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0) {
      state.SkipWithError("decode failed");
    }
    benchmark::DoNotOptimize(pixels.data());
    spng_ctx_free(context);
    return png.size();
  });
}

void thumbnail(benchmark::State& state, const DataSet& data) {
  std::size_t written = 0;
  overFiles(state, data, [&](std::size_t which) {
    // A new name each time, as in the cache: replacing a file would add the file system's
    // flush-on-replace to the measurement.
    const std::string target = data.outputFolder + "/" + std::to_string(written++) + ".jpg";
    lorvex::platform::writePNGThumbnail(data.files[which], target, 320);
    return static_cast<std::size_t>(fs::file_size(data.files[which]));
  });
}

void BM_BareDecode_Real(benchmark::State& state) {
  bareDecode(state, realImages());
}
void BM_Thumbnail_Real(benchmark::State& state) {
  thumbnail(state, realImages());
}
void BM_BareDecode_Synthetic(benchmark::State& state) {
  bareDecode(state, syntheticImages());
}
void BM_Thumbnail_Synthetic(benchmark::State& state) {
  thumbnail(state, syntheticImages());
}

BENCHMARK(BM_BareDecode_Real)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Thumbnail_Real)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BareDecode_Synthetic)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Thumbnail_Synthetic)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
