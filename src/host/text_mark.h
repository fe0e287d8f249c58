// The mark of a text the plug-in translates. It changes nothing: every
// literal that can reach the host's translation is written N_("...") where it
// stands, and scripts/gen-langpack.py collects the marked texts into the
// translation template.
#pragma once

#define N_(text) text
