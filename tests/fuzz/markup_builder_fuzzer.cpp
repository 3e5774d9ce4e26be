// Feeds arbitrary bytes to the mark-up reader and, when they parse, builds,
// lays out, paints and clicks the resulting window.
#include <cstddef>
#include <cstdint>

#include "tests/ui/test_doubles.h"
#include "ui/skin_ui.h"

namespace {

using namespace SkinUI;

void Exercise(SkinMarkupNode node, int depth) {
  for (; node.IsValid() && depth < 64; node = node.GetSibling()) {
    int count = node.GetAttributeCount();
    for (int i = -1; i <= count; ++i) {
      node.GetAttributeName(i);
      node.GetAttributeValue(i);
    }
    wchar_t buffer[8];
    node.GetAttributeValue(L"name", buffer, 8);
    node.GetValue();
    Exercise(node.GetChild(), depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks the encoding and the white-space flag.
  SkinEncoding encoding = data[0] % 3 == 0   ? SkinEncoding::Utf8
                          : data[0] % 3 == 1 ? SkinEncoding::Ansi
                                             : SkinEncoding::Utf16;
  SkinResources resources;  // no archive: Include finds nothing
  SkinBuilder builder(&resources);
  builder.Markup().SetPreserveWhitespace((data[0] & 4) == 0);
  if (!builder.Markup().LoadFromBytes(reinterpret_cast<const char*>(data + 1), size - 1,
                                      encoding)) {
    return 0;
  }
  Exercise(builder.Markup().Root(), 0);

  testing::FakeHost host;
  testing::RecordingPainter painter;
  {
    CPaintManagerUI manager;
    manager.SetHost(&host);
    CControlUI* root = builder.Create(nullptr, &manager);
    if (root) {
      manager.AttachDialog(root);
      manager.SetClientSize(400, 300);
      manager.Paint(painter, {0, 0, 400, 300});
      for (int y = 5; y < 300; y += 37) {
        for (int x = 5; x < 400; x += 53) {
          manager.OnMouseMove({x, y});
          manager.OnLButtonDown({x, y});
          manager.OnLButtonUp({x, y});
          manager.OnMouseWheel({x, y}, y % 2 ? 120 : -120);
        }
      }
      manager.IsCaptionAt({10, 10});
      manager.Paint(painter, {0, 0, 400, 300});
    }
  }
  return 0;
}
