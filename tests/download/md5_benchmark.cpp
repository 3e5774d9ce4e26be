// Our MD5 against coreutils' md5sum on the same 256 MiB file, in one run.
// The file is read from the page cache by both, so the figures compare the
// hashing. Prints the ratio of throughputs at the end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "download/md5.h"
#include "host/text.h"

namespace {

constexpr size_t kSize = 256 << 20;
std::string g_path;
double g_oursSeconds = 0, g_md5sumSeconds = 0;

void MakeFile() {
  g_path = "/tmp/kavi-md5-bench.bin";
  std::mt19937_64 rng(1);
  std::string data(kSize, '\0');
  for (size_t i = 0; i + 8 <= kSize; i += 8) {
    uint64_t v = rng();
    std::memcpy(&data[i], &v, 8);
  }
  std::ofstream(g_path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(kSize));
}

void BM_OurMd5OfFile(benchmark::State& state) {
  std::string hex;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    kavi::Md5OfFile(kavi::FromUtf8(g_path), &hex);
    g_oursSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    benchmark::DoNotOptimize(hex);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void BM_Md5sumProcess(benchmark::State& state) {
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    FILE* p = popen(("md5sum " + g_path).c_str(), "r");
    char line[256];
    while (p && std::fgets(line, sizeof(line), p)) {
    }
    if (p) pclose(p);
    g_md5sumSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

BENCHMARK(BM_OurMd5OfFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_Md5sumProcess)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  MakeFile();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::printf("MD5 throughput, ours / md5sum (last runs): %.2f\n", g_md5sumSeconds / g_oursSeconds);
  std::remove(g_path.c_str());
  return 0;
}
