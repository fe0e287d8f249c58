// Fixture of the native suites of the core rules: a clean test host, clean native
// stand-ins and the plug-in's process-wide values back at their load-time
// values, since they outlive every test in this process.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/globals.h"
#include "plugin/protocol.h"
#include "testhost/native_shell.h"
#include "testhost/test_host.h"

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testhost::ResetNativeShell();
    host.Reset();
    HostLink = nullptr;
    CurrentStatus = ID_STATUS_OFFLINE;
    EditorOpen = false;
    PreBuildHook = 0;
    EditMenuItem = 0;
    LastUserID = 0;
    NextSendSequence = 0;
  }

  void TearDown() override {
    FinishAcknowledgements();
    testhost::JoinWorkers();
    // Every text the host handed out was given back.
    EXPECT_EQ(host.LiveVariantTexts(), 0u);
  }

  // The plug-in talks to the host without Load: for tests of single rules.
  void Attach() {
    HostLink = host.Link();
    host.RegisterProtocol(kModule);
  }

  // The writes and deletions since the last call, as "contact module/setting=value".
  std::vector<std::string> TakeWrites() {
    std::vector<std::string> lines;
    for (const testhost::SettingWrite& write : host.Writes()) {
      std::string line = std::to_string(write.contact) + " " + write.module + "/" + write.setting;
      if (!write.value)
        line += " deleted";
      else if (write.value->type == DBVT_ASCIIZ)
        line += "=\"" + write.value->text + "\"";
      else
        line += "=" + std::to_string(write.value->number) + ":" +
                std::to_string(static_cast<int>(write.value->type));
      lines.push_back(line);
    }
    host.ClearWrites();
    return lines;
  }

  // Expected lines of TakeWrites; `key` is "module/setting".
  static std::string TextWrite(ContactHandle contact, const std::string& key,
                               const std::string& value) {
    return std::to_string(contact) + " " + key + "=\"" + value + "\"";
  }
  static std::string WordWrite(ContactHandle contact, const std::string& key, uint16_t value) {
    return std::to_string(contact) + " " + key + "=" + std::to_string(value) + ":2";
  }
  static std::string DwordWrite(ContactHandle contact, const std::string& key, uint32_t value) {
    return std::to_string(contact) + " " + key + "=" + std::to_string(value) + ":4";
  }
  static std::string Deletion(ContactHandle contact, const std::string& key) {
    return std::to_string(contact) + " " + key + " deleted";
  }

  testhost::TestHost& host = testhost::TestHost::Instance();
};
