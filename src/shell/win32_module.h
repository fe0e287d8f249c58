// The plug-in's own module handle, for its resources and window classes.
#pragma once

#include <windows.h>

HINSTANCE PluginModule();
