// Fixture of the native suites that run whole commands: the plug-in loaded
// and started against a clean test host, with clean native stand-ins of the
// platform operations and of the files.
#pragma once

#include <gtest/gtest.h>

#include "plugin/mKestrinUser.h"
#include "testhost/native_files.h"
#include "testhost/native_shell.h"
#include "testhost/test_host.h"

class StartedPluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.Reset();
    testhost::ResetNativeShell();
    testhost::ResetNativeFiles();
    ASSERT_EQ(Load(host.Link()), 0);
    host.FireEvent("Miranda/System/ModulesLoaded", 0, 0);
  }
  void TearDown() override {
    Unload();
    testhost::JoinWorkers();
    testhost::ResetNativeFiles();
  }

  testhost::TestHost& host = testhost::TestHost::Instance();
};
