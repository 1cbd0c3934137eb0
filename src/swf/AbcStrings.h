#pragma once
// Reads the string constants of ActionScript 3 byte code (an ABC file, the body of DoABC) for the
// names it uses. Strings that name namespaces (packages such as "flash.xml") are not the code's own.
#include "swf/MovieNames.h"

#include <string_view>

namespace swf {

void ScanAbcStrings(std::string_view abc, NameCollector& names);

} // namespace swf
