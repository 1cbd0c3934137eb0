#pragma once
// Readers of player configurations whose movies hang under another address than the page's, for the
// pass over calls: Flowplayer loads a plugin named by a bare file name from the player movie's folder
// (a name with a "/" or ".." it hands to Flash as written, which resolves it against the page), and
// MediaElement.js loads its flashName from its pluginPath.
#include "html/script/ReferenceList.h"
#include "html/script/ScriptStrings.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace html::script {

// flowplayer(container, player, config), $f(...) or $(selector).flowplayer(player, config), with its
// "(" at `openAt`: appends each plugin's movie to `references`, joined to the player's folder, and
// the offset of the literal it was read from to `rebased`. Returns where reading the call stopped.
std::size_t ReadFlowplayerCall(std::string_view page, std::size_t openAt, ScriptStrings& strings,
                               ReferenceList& references, std::vector<std::size_t>& rebased);

// mediaelementplayer(options) or new MediaElementPlayer(selector, options): the same for its
// flashName, joined to its pluginPath.
std::size_t ReadMediaElementCall(std::string_view page, std::size_t openAt, ScriptStrings& strings,
                                 ReferenceList& references, std::vector<std::size_t>& rebased);

} // namespace html::script
