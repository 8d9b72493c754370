// How much the log tail costs as the log grows: the tail of a 1 GiB log
// against the tail of a 1 MiB log, made of the same kind of lines.
//
//   cmake --build build --target log_tail_bench && build/bench/log_tail_bench [directory]
//
// The logs are written to a fresh directory under the given one (default
// /tmp) and removed afterwards.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "backend/LogTail.h"

namespace {

constexpr size_t kMiB = 1024 * 1024;

// About one mebibyte of whole lines such as a backend prints.
std::string oneMebibyteOfLines() {
  std::string chunk;
  for (int i = 0; chunk.size() < kMiB; ++i) {
    chunk += "127.0.0.1 - - [07/Dec/2026 23:32:15] \"GET /health/ready HTTP/1.1\" 200 - 请求 " +
             std::to_string(i) + "\n";
    if (i % 7 == 0) chunk += "\n";
  }
  return chunk;
}

void writeLog(const std::filesystem::path& path, size_t mebibytes) {
  const std::string chunk = oneMebibyteOfLines();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (size_t i = 0; i < mebibytes; ++i)
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

// The median time of one tail over many calls, in microseconds.
double medianMicroseconds(const std::string& path, int calls, std::string& tail) {
  std::vector<double> times;
  for (int i = 0; i < calls; ++i) {
    const auto began = std::chrono::steady_clock::now();
    tail = lumivant::tailOfLogFile(path);
    times.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - began)
            .count());
  }
  std::nth_element(times.begin(), times.begin() + calls / 2, times.end());
  return times[calls / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path parent = argc > 1 ? argv[1] : "/tmp";
  std::string pattern = (parent / "lumivant-log-tail-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::filesystem::path directory = pattern;
  const std::filesystem::path small = directory / "small.log";
  const std::filesystem::path large = directory / "large.log";

  writeLog(small, 1);
  writeLog(large, 1024);

  constexpr int kCalls = 301;
  std::string smallTail, largeTail;
  const double smallTime = medianMicroseconds(small, kCalls, smallTail);
  const double largeTime = medianMicroseconds(large, kCalls, largeTail);
  std::filesystem::remove_all(directory);

  std::printf("tail of a 1 MiB log: %8.1f µs (median of %d)\n", smallTime, kCalls);
  std::printf("tail of a 1 GiB log: %8.1f µs (median of %d)\n", largeTime, kCalls);
  std::printf("ratio 1 GiB / 1 MiB: %.2f\n", largeTime / smallTime);
  if (smallTail != largeTail || smallTail.empty()) {
    std::fprintf(stderr, "the two tails differ, or are empty\n");
    return 1;
  }
  return 0;
}
