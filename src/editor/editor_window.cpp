// Placeholder until the editor window lands.
#include "editor/editor_window.h"

#include "host/globals.h"

void RunEditorWindow() { EditorOpen = false; }
