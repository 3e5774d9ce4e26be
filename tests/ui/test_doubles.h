// A painter that records what controls draw and a window host that records
// what the manager asks of the window.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "ui/paint_manager.h"
#include "ui/painter.h"

namespace SkinUI {
namespace testing {

class RecordingPainter : public IPainter {
 public:
  struct Fill {
    UiRect rect;
    UiColor color;
  };
  struct Text {
    UiRect rect;
    std::vector<TextRun> runs;
    TextStyle style;
  };

  // Members the painter can draw; empty means every member.
  std::set<std::wstring> available;
  std::vector<Fill> fills;
  std::vector<Fill> borders;
  std::vector<ImageDraw> images;  // only those drawn
  std::vector<std::wstring> missing;
  std::vector<Text> texts;
  int clipDepth = 0;
  int maxClipDepth = 0;

  void FillRect(const UiRect& rect, UiColor color) override { fills.push_back({rect, color}); }
  void DrawBorder(const UiRect& rect, int, UiColor color) override {
    borders.push_back({rect, color});
  }
  bool DrawImage(const ImageDraw& image) override {
    if (!available.empty() && !available.count(image.spec.file)) {
      missing.push_back(image.spec.file);
      return false;
    }
    images.push_back(image);
    return true;
  }
  void DrawText(const UiRect& rect, const std::vector<TextRun>& runs,
                const TextStyle& style) override {
    texts.push_back({rect, runs, style});
  }
  void PushClip(const UiRect&) override {
    ++clipDepth;
    if (clipDepth > maxClipDepth) maxClipDepth = clipDepth;
  }
  void PopClip() override { --clipDepth; }

  const ImageDraw* FindImage(const std::wstring& file) const {
    for (const ImageDraw& i : images) {
      if (i.spec.file == file) return &i;
    }
    return nullptr;
  }
  const Text* FindText(const std::wstring& text) const {
    for (const Text& t : texts) {
      std::wstring joined;
      for (const TextRun& r : t.runs) joined += r.text;
      if (joined == text) return &t;
    }
    return nullptr;
  }
};

class FakeHost : public IWindowHostUI {
 public:
  std::vector<UiRect> invalidated;
  std::map<unsigned, int> timers;  // running timers: key -> period
  UiSize resized;
  std::map<std::wstring, std::vector<int>> frames;
  std::vector<std::wstring> offered;  // the last drop-down list's items
  int choice = -1;                    // what the user picks from it
  std::vector<std::pair<AccessibleChange, CControlUI*>> announced;

  void Invalidate(const UiRect& rect) override { invalidated.push_back(rect); }
  void StartTimer(unsigned key, int elapseMs) override { timers[key] = elapseMs; }
  void StopTimer(unsigned key) override { timers.erase(key); }
  void ResizeClient(int cx, int cy) override { resized = {cx, cy}; }
  std::vector<int> ImageFrameDelays(const std::wstring& file) override {
    auto it = frames.find(file);
    return it == frames.end() ? std::vector<int>{} : it->second;
  }
  int ChooseItem(const UiRect&, const std::vector<std::wstring>& items, int) override {
    offered = items;
    return choice;
  }
  void AccessibleChanged(AccessibleChange change, CControlUI* control) override {
    announced.push_back({change, control});
  }
};

}  // namespace testing
}  // namespace SkinUI
