// The host's menus and the commands behind them.
#pragma once

#include <string>

#include "host/m_globaldefs.h"

intptr_t MIRANDA_CDECL OnModulesLoaded(WParam, LParam);
intptr_t MIRANDA_CDECL OnPreBuildContactMenu(WParam contact, LParam);
intptr_t MIRANDA_CDECL AddCommand(WParam, LParam);
intptr_t MIRANDA_CDECL EditCommand(WParam contact, LParam);
intptr_t MIRANDA_CDECL ImportCommand(WParam, LParam);
intptr_t MIRANDA_CDECL ExportCommand(WParam, LParam);
intptr_t MIRANDA_CDECL UndoImportCommand(WParam, LParam);

// Opens the editor for `contact` (0: a new Kestrin user) unless it is open.
void OpenEditor(ContactHandle contact);

// `text` without its first "&"; later ones stay.
std::string StripFirstAmpersand(const std::string& text);
