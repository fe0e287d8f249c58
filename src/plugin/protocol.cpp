#include "plugin/protocol.h"

#include <chrono>
#include <cstring>

#include "host/globals.h"
#include "plugin/worker_queue.h"
#include "records/KestrinUserU.h"
#include "shell/shell.h"

intptr_t MIRANDA_CDECL GetCaps(WParam selector, LParam) {
  switch (selector) {
    case PFLAGNUM_1: return PF1_IMSEND;
    case PFLAGNUM_2:
      return PF2_ONLINE | PF2_SHORTAWAY | PF2_LONGAWAY | PF2_LIGHTDND | PF2_HEAVYDND | PF2_FREECHAT;
    case PFLAG_UNIQUEIDSETTING:
      // The host keeps the pointer: a constant of the library.
      return reinterpret_cast<intptr_t>(kUniqueIdSetting);
    default: return 0;
  }
}

intptr_t MIRANDA_CDECL GetName(WParam bufferSize, LParam buffer) {
  auto* out = reinterpret_cast<char*>(buffer);
  if (out == nullptr || bufferSize == 0) return 0;
  const std::size_t length = std::strlen(kProtocolName);
  const std::size_t copied = length < bufferSize ? length : bufferSize - 1;
  std::memcpy(out, kProtocolName, copied);
  out[copied] = '\0';
  return 0;
}

intptr_t MIRANDA_CDECL LoadIcon(WParam, LParam) {
  return GuardedHandler(
      [] { return static_cast<intptr_t>(shell::LoadPluginIcon(shell::kKestrinUsersIcon)); });
}

intptr_t MIRANDA_CDECL GetStatus(WParam, LParam) {
  return static_cast<intptr_t>(CurrentStatus.load());
}

intptr_t MIRANDA_CDECL SetStatus(WParam requested, LParam) {
  return GuardedHandler([requested] {
    const uint32_t status =
        IsProtocolOnline(static_cast<uint32_t>(requested)) ? ID_STATUS_ONLINE : ID_STATUS_OFFLINE;
    const uint32_t old = CurrentStatus.exchange(status);
    BroadcastAck(kModule, 0, ACKTYPE_STATUS, ACKRESULT_SUCCESS, old, status);
    ForEachContact([status](ContactHandle contact) {
      if (IsOwnContact(contact)) WriteShownStatus(contact, status);
    });
    return 0;
  });
}

namespace {

// Message acknowledgements on their way; Unload waits for them.
WorkerQueue PendingAcks;

struct MessageRequest {
  ContactHandle contact;
  int32_t sequence;
};

void MessageAckWorker(MessageRequest request) {
  BroadcastAck(kModule, request.contact, ACKTYPE_MESSAGE, ACKRESULT_SUCCESS,
               static_cast<HostHandle>(request.sequence), 0);
}

}  // namespace

void FinishAcknowledgements() {
  // Long enough for a host that hands each acknowledgement to its busy main
  // thread; a worker still in the host after that keeps the library loaded.
  constexpr std::chrono::seconds kUnloadWait{5};
  PendingAcks.Stop(kUnloadWait);
}

intptr_t MIRANDA_CDECL SendMsg(WParam, LParam ccsParam) {
  return GuardedHandler([ccsParam] {
    const auto* ccs = reinterpret_cast<const CCSDATA*>(ccsParam);
    const MessageRequest request{ccs != nullptr ? ccs->hContact : 0, NextSendSequence.fetch_add(1)};
    PendingAcks.Post([request] { MessageAckWorker(request); });
    return static_cast<intptr_t>(request.sequence);
  });
}
