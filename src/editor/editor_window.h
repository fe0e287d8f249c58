// The Add / Edit window of a Kestrin user.
#pragma once

// Opens the editor window for EditedContact with EditorCaption, runs its
// message loop and returns when the window is gone; clears EditorOpen.
void RunEditorWindow();
