#pragma once
// The first movie shown in a viewer would wait for Ruffle to start in the viewer's renderer: its
// scripts parsed, its module compiled, a player set up; later movies find all that done. So once the
// start page has loaded, which happens after the window is shown, Ruffle is started in it out of
// sight, and the first movie, shown in the same renderer, opens as quickly as the later ones.
class CHtmlCtrl;

namespace preview {

// Call right after the viewer was asked to show its start page. Does nothing without an engine or
// without the Ruffle player, or when something else replaced the start page before it loaded.
void PreloadPlayer(CHtmlCtrl& viewer);

} // namespace preview
