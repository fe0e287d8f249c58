#include "host/globals.h"

PLUGINLINK* HostLink = nullptr;
std::atomic<uint32_t> CurrentStatus{ID_STATUS_OFFLINE};
bool EditorOpen = false;
HostHandle PreBuildHook = 0;
HostHandle EditMenuItem = 0;
int32_t LastUserID = 0;
std::atomic<int32_t> NextSendSequence{0};
