// Text comparison without regard to ASCII case (header names, verbs, URL
// schemes): independent of the locale, so "I" and "i" always match.
#pragma once
#include <string_view>

bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool ContainsNoCase(std::string_view text, std::string_view part);
