#pragma once
// Reads ActionScript 1/2 byte code (a DoAction body, a button's or a clip's actions) for the names
// it uses. The actions are read in order, function bodies included (they follow their definition),
// while a small model of the value stack follows the strings: a string handed to GetURL2 is an
// address loaded or navigated to, one joined with "+" to a value built at run time leaves a pattern.
#include "swf/MovieNames.h"

#include <string_view>

namespace swf {

void ScanActions(std::string_view actions, NameCollector& names);

} // namespace swf
