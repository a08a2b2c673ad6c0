// File-name patterns in which "*" stands for any run of characters, as the run time's file
// functions take them ("QuellixRandom*.sav").
#pragma once

#include <string_view>

bool wildcardMatch(std::string_view pattern, std::string_view name);
