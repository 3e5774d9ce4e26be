// Base of the Windows-side online tests: a reachable development service
// host with no rules and an empty statistics log, and this process pointed
// at it.
#pragma once

#include <gtest/gtest.h>

#include "online/service_host.h"
#include "tests/support/devhost_client.h"

namespace kavi {

class DevHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Available())
        << "KAVI_DEVHOST_URL is not set: run this suite through ctest, which starts "
           "tools/devhost/devhost.py run around it";
    ASSERT_TRUE(host.SetRules("{}"));
    host.ClearStatsLog();
    SetServiceUrlForTesting(host.BaseUrl());
  }

  DevHost host;
};

}  // namespace kavi
