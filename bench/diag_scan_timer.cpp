// Times the executable flavour scan on one file: the best of RUNS scans
// (default 3), printed as seconds and MiB/s with the scan's verdict, for
// bench/diag_peers.sh to set beside grep.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "diag/exe_flavour.h"
#include "platform/exception.h"
#include "platform/files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: diag_scan_timer FILE\n");
    return 2;
  }
  const char* runs_text = std::getenv("RUNS");
  int runs = runs_text != nullptr ? std::atoi(runs_text) : 3;
  if (runs < 1) runs = 1;
  std::string path = argv[1];
  double best = 1e30;
  std::string flavour_class, markers, name;
  try {
    for (int i = 0; i < runs; ++i) {
      auto start = std::chrono::steady_clock::now();
      vx::ScanExeSignatures(path, flavour_class, markers, name);
      std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      if (took.count() < best) best = took.count();
    }
  } catch (const vx::Exception& error) {
    std::fprintf(stderr, "diag_scan_timer: %s\n", error.what());
    return 1;
  }
  double mib = static_cast<double>(vx::platform::FileSizeBySearch(path)) / (1024.0 * 1024.0);
  std::printf("%.3f s  %.0f MiB/s  flavour %s  markers %s\n", best, mib / best, name.c_str(),
              markers.c_str());
  return 0;
}
