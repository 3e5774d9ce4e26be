// Skin reading and building speed, with pugixml parsing the same text in the
// same run as the reference. Prints both parse times and their ratio.
#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <map>
#include <string>

#include "tests/ui/shipped_skins.h"
#include "tests/ui/test_doubles.h"
#include "tests/ui/zip_writer.h"
#include "ui/skin_ui.h"

namespace {

using namespace SkinUI;

const std::string& MainSkin() {
  static const std::string text = testing::ShippedMember(L"skin.xml");
  return text;
}

const std::string& Archive() {
  static const std::string bytes = [] {
    testing::ZipWriter zip;
    zip.Add("skin.xml", MainSkin());
    zip.Add("item1.xml", testing::ShippedMember(L"item1.xml"));
    return zip.Finish();
  }();
  return bytes;
}

void BM_PugiXmlParse(benchmark::State& state) {
  for (auto _ : state) {
    pugi::xml_document doc;
    pugi::xml_parse_result result = doc.load_buffer(MainSkin().data(), MainSkin().size());
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(state.iterations() * MainSkin().size());
}
BENCHMARK(BM_PugiXmlParse);

// Decoding the UTF-8 bytes and parsing, as a member load does after reading.
void BM_SkinMarkupParse(benchmark::State& state) {
  SkinMarkup doc;
  for (auto _ : state) {
    bool ok = doc.LoadFromBytes(MainSkin().data(), MainSkin().size());
    benchmark::DoNotOptimize(ok);
  }
  state.SetBytesProcessed(state.iterations() * MainSkin().size());
}
BENCHMARK(BM_SkinMarkupParse);

// Building the window's tree from a parsed document, attached and laid out.
void BM_BuildMainTree(benchmark::State& state) {
  SkinResources resources;
  resources.UseArchive(Archive().data(), Archive().size());
  SkinBuilder builder(&resources);
  builder.Markup().LoadFromMember(L"skin.xml");
  testing::FakeHost host;
  for (auto _ : state) {
    CPaintManagerUI manager;
    manager.SetHost(&host);
    CControlUI* root = builder.Create(nullptr, &manager);
    manager.AttachDialog(root);
    manager.SetClientSize(900, 637);
    manager.UpdateLayout();
    benchmark::DoNotOptimize(root);
  }
}
BENCHMARK(BM_BuildMainTree);

// The whole way from the archive: find, inflate, decode, parse, build, lay out.
void BM_LoadAndBuildFromArchive(benchmark::State& state) {
  SkinResources resources;
  resources.UseArchive(Archive().data(), Archive().size());
  testing::FakeHost host;
  for (auto _ : state) {
    CPaintManagerUI manager;
    manager.SetHost(&host);
    SkinBuilder builder(&resources);
    CControlUI* root = builder.Create(L"skin.xml", nullptr, nullptr, &manager);
    manager.AttachDialog(root);
    manager.SetClientSize(900, 637);
    manager.UpdateLayout();
    benchmark::DoNotOptimize(root);
  }
}
BENCHMARK(BM_LoadAndBuildFromArchive);

// Remembers each benchmark's mean time per iteration for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> nanoseconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      nanoseconds[run.benchmark_name()] =
          run.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& ns = reporter.nanoseconds;
  if (ns.count("BM_PugiXmlParse") && ns.count("BM_SkinMarkupParse")) {
    std::printf(
        "\nparse of the main skin (%zu bytes): SkinMarkup %.1f us, pugixml %.1f us, "
        "ratio %.2f (goal <= 1.5)\n",
        MainSkin().size(), ns["BM_SkinMarkupParse"] / 1000, ns["BM_PugiXmlParse"] / 1000,
        ns["BM_SkinMarkupParse"] / ns["BM_PugiXmlParse"]);
  }
  if (ns.count("BM_BuildMainTree")) {
    std::printf("building the main window tree: %.1f us (goal well under 1000 us)\n",
                ns["BM_BuildMainTree"] / 1000);
  }
  if (ns.count("BM_LoadAndBuildFromArchive")) {
    std::printf("load from archive + parse + build + layout: %.1f us\n",
                ns["BM_LoadAndBuildFromArchive"] / 1000);
  }
  benchmark::Shutdown();
  return 0;
}
