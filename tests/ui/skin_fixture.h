// A skin archive with the shipped skins and a window-like manager to build
// them into.
#pragma once

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "tests/ui/shipped_skins.h"
#include "tests/ui/test_doubles.h"
#include "tests/ui/zip_writer.h"
#include "ui/skin_ui.h"

namespace SkinUI {
namespace testing {

class SkinFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ZipWriter zip;
    for (const wchar_t* member : {L"skin.xml", L"item1.xml", L"tile.xml", L"backuprecovery.xml"}) {
      std::string bytes = ShippedMember(member);
      ASSERT_FALSE(bytes.empty()) << "resources/skin lacks a member";
      zip.Add(std::string(member, member + std::wcslen(member)), bytes);
    }
    for (const auto& extra : extraMembers_) zip.Add(extra.first, extra.second);
    archive_ = zip.Finish();
    resources_.UseArchive(archive_.data(), archive_.size());
    manager_.SetHost(&host_);
  }

  // Builds a window skin into the manager, as the window does at creation.
  CControlUI* BuildWindow(const wchar_t* member) {
    SkinBuilder builder(&resources_);
    CControlUI* root = builder.Create(member, nullptr, nullptr, &manager_);
    if (!root) return nullptr;
    manager_.AttachDialog(root);
    manager_.SetClientSize(host_.resized.cx, host_.resized.cy);
    manager_.UpdateLayout();
    return root;
  }
  // Builds a template without a manager, as rows and tiles are built.
  CControlUI* BuildTemplate(const wchar_t* member) {
    SkinBuilder builder(&resources_);
    return builder.Create(member);
  }
  CControlUI* Find(const wchar_t* name) { return manager_.FindControl(name); }
  template <typename T>
  T* FindAs(const wchar_t* name) {
    return dynamic_cast<T*>(Find(name));
  }

  std::vector<std::pair<std::string, std::string>> extraMembers_;
  std::string archive_;
  SkinResources resources_;
  FakeHost host_;
  CPaintManagerUI manager_;
};

// Collects notifications as "type:sender" strings.
class NotifyLog : public INotifyUI {
 public:
  std::vector<std::wstring> entries;
  std::function<void(TNotifyUI&)> onNotify;
  void OnNotify(TNotifyUI& msg) override {
    entries.push_back(msg.sType + L":" + (msg.pSender ? msg.pSender->GetName() : L"?"));
    if (onNotify) onNotify(msg);
  }
};

}  // namespace testing
}  // namespace SkinUI
