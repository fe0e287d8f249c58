#include <windows.h>

#include <gtest/gtest.h>

#include "testhost/test_host.h"

TEST(WineSmoke, LoadsTheDll) {
  HMODULE dll = LoadLibraryA("mKestrinUser.dll");
  ASSERT_NE(dll, nullptr);
  auto info = reinterpret_cast<PLUGININFO*(MIRANDA_CDECL*)(uint32_t)>(
      reinterpret_cast<void*>(GetProcAddress(dll, "MirandaPluginInfo")));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info(0)->cbSize, 40);
  FreeLibrary(dll);
}
