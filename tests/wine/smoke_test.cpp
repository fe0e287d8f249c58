#include "wine_support.h"

TEST_F(PluginTest, LoadsTheDll) {
  EXPECT_EQ(info(0)->cbSize, 40);
  EXPECT_EQ(host.Protocols().size(), 1u);
}
