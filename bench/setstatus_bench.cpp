// Time of "mKestrinUser/SetStatus" online over a large contact database in the
// native test host, per contact, at two sizes; the ratio of the two totals
// shows whether the walk stays linear (about 2 when the second size is twice
// the first).
//
//   setstatus_bench [contacts] [more-contacts]   (defaults 100000 200000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "bench_support.h"
#include "host/globals.h"
#include "plugin/mKestrinUser.h"
#include "testhost/test_host.h"

namespace {

constexpr int kRounds = 3;
// One foreign contact among this many Kestrin users.
constexpr std::size_t kForeignEvery = 50;

std::size_t ForeignContacts(std::size_t kestrinUsers) {
  return (kestrinUsers + kForeignEvery - 1) / kForeignEvery;
}

// Builds the database, loads the plug-in and answers the best time of a few
// offline-to-online switches, in seconds.
double MeasureSetStatus(std::size_t kestrinUsers) {
  auto& host = testhost::TestHost::Instance();
  host.Reset();
  for (std::size_t i = 0; i < kestrinUsers; ++i) {
    const ContactHandle contact = host.AddKestrinContact();
    host.SetDword(contact, kModule, "ContactType", static_cast<uint32_t>(i % 7));
    if (i % kForeignEvery == 0) host.AddForeignContact("ICQ");
  }
  Load(host.Link());

  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    host.CallService("mKestrinUser/SetStatus", ID_STATUS_OFFLINE, 0);
    host.ClearWrites();  // the host's record of writes would grow with every round
    const auto start = std::chrono::steady_clock::now();
    host.CallService("mKestrinUser/SetStatus", ID_STATUS_ONLINE, 0);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }

  // The run counts only if it did the work: the last user carries type 0.
  const ContactHandle last = host.Contacts().back();
  if (host.Number(last, kModule, "Status") != ID_STATUS_ONLINE) {
    std::fprintf(stderr, "SetStatus did not write the statuses\n");
    std::exit(1);
  }
  Unload();
  host.Reset();
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t small = bench::SizeArgument(argc, argv, 1, 100000);
  const std::size_t large = bench::SizeArgument(argc, argv, 2, 200000);
  // Both sizes in turn, twice: the heap a size meets depends on what ran
  // before it, so neither size always gets the fresh process.
  double smallTime = 1e30;
  double largeTime = 1e30;
  for (int pass = 0; pass < 2; ++pass) {
    smallTime = std::min(smallTime, MeasureSetStatus(small));
    largeTime = std::min(largeTime, MeasureSetStatus(large));
  }
  for (auto [users, seconds] : {std::pair{small, smallTime}, std::pair{large, largeTime}})
    std::printf("SetStatus online, %zu Kestrin users + %zu foreign: %.3f ms, %.1f ns per contact\n",
                users, ForeignContacts(users), seconds * 1e3,
                seconds * 1e9 / static_cast<double>(users + ForeignContacts(users)));
  std::printf("ratio %zu/%zu: %.2f (size ratio %.2f)\n", large, small, largeTime / smallTime,
              static_cast<double>(large) / static_cast<double>(small));
  return 0;
}
