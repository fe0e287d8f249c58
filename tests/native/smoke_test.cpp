#include <gtest/gtest.h>

#include "host/mKestrinUser.h"
#include "testhost/test_host.h"

TEST(Smoke, LoadRegistersProtocol) {
  auto& host = testhost::TestHost::Instance();
  host.Reset();
  EXPECT_EQ(Load(host.Link()), 0);
  EXPECT_EQ(host.Protocols().size(), 1u);
}
