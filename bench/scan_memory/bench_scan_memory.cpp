// bench_scan_memory --library DIR FOLDER
//
// Opens (or creates) the library in DIR as the application does, registers FOLDER and scans it
// through the library service, and prints the process's resident memory around the scan, read from
// /proc/self/status: before the scan (the library open), the peak (VmHWM), right after the scan,
// and after a second at rest; also the anonymous part (the heap, RssAnon) before, after and at
// rest, and the file-backed part at rest (pages of the library file mapped by SQLite, RssFile).
// Exit status 1 when the scan or the library fails, 2 on a usage error.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "model/text/paths.h"
#include "platform/settings.h"
#include "services/image_library_service.h"
#include "services/live_image_library_service.h"

namespace {

// A field of /proc/self/status ("VmRSS", "VmHWM") in MB.
long long statusMegabytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) != 0) continue;
    return std::stoll(line.substr(field.size() + 1)) * 1024 / 1'000'000;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || std::string(argv[1]) != "--library") {
    std::fprintf(stderr, "usage: bench_scan_memory --library DIR FOLDER\n");
    return 2;
  }
  try {
    const std::string library = lorvex::text::standardizedPath(argv[2]);
    const std::string folder = lorvex::text::standardizedPath(argv[3]);
    lorvex::LiveImageLibraryGraph graph =
        lorvex::makeLiveImageLibraryGraph(library, lorvex::platform::Settings("bench-scan-memory", library));
    lorvex::ImageLibraryService service(std::move(graph.dependencies));
    service.registerFolders({folder});
    const std::vector<std::string> roots = service.restoreFolderAccess();
    const long long before = statusMegabytes("VmRSS");
    const long long beforeAnonymous = statusMegabytes("RssAnon");
    const lorvex::ImageLibraryScanSummary summary = service.scanLibrary(roots, {}, {});
    const long long after = statusMegabytes("VmRSS");
    const long long afterAnonymous = statusMegabytes("RssAnon");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::printf(
        "scanned=%lld indexed=%lld failed=%lld before_mb=%lld peak_mb=%lld after_mb=%lld rest_mb=%lld "
        "before_anon_mb=%lld after_anon_mb=%lld rest_anon_mb=%lld rest_file_mb=%lld\n",
        static_cast<long long>(summary.scannedFileCount), static_cast<long long>(summary.indexedImageCount),
        static_cast<long long>(summary.failedFileCount), before, statusMegabytes("VmHWM"), after,
        statusMegabytes("VmRSS"), beforeAnonymous, afterAnonymous, statusMegabytes("RssAnon"),
        statusMegabytes("RssFile"));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
