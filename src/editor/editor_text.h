#pragma once

#include <string>

// `text` without its first "&"; later ones stay.
std::string StripFirstAmpersand(const std::string& text);
