// The native benchmarks run the plug-in inside the test host, as the host
// would: loaded afresh, with every module loaded.
#pragma once

#include "plugin/mKestrinUser.h"
#include "testhost/native_files.h"
#include "testhost/native_shell.h"
#include "testhost/test_host.h"

namespace bench {

inline void StartPlugin(testhost::TestHost& host) {
  host.Reset();
  testhost::ResetNativeShell();
  testhost::ResetNativeFiles();
  Load(host.Link());
  host.FireEvent("Miranda/System/ModulesLoaded", 0, 0);
}

}  // namespace bench
