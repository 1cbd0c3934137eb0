// Loads Ruffle into the page the viewer shows now (its start page), out of sight, has it open an empty
// movie, and lets the player go but keeps its compiled module. What that leaves in the renderer, which
// the next document shares, is what the first movie would otherwise wait for: Ruffle's scripts parsed
// and compiled, its module compiled, the engine's player machinery started once.
(function () {
  if (window.RufflePlayer)
    return;
@SETUP@
  const box = document.createElement("div");
  box.id = "player-preload";
  box.style.cssText = "position: fixed; left: 0; top: 0; width: 1px; height: 1px; overflow: hidden;"
    + " opacity: 0; pointer-events: none";
  document.body.appendChild(box);
  // A running player would cost time on every frame: it goes as soon as it has opened the movie.
  const letGo = function () { box.remove(); };
  // Ruffle's compiled module outlives the player: the first movie compiles the same bytes, and V8
  // then takes the module it already has.
  const instantiate = WebAssembly.instantiateStreaming;
  WebAssembly.instantiateStreaming = function (source, imports) {
    return instantiate.call(WebAssembly, source, imports).then(function (result) {
      window.preloadedModule = result.module;
      return result;
    });
  };
  const script = document.createElement("script");
  script.src = "@RUFFLE@ruffle.js";
  script.onerror = letGo;
  script.onload = function () {
    const player = window.RufflePlayer.newest().createPlayer();
    box.appendChild(player);
    player.addEventListener("loadedmetadata", function () { setTimeout(letGo, 200); });
    setTimeout(letGo, 20000);
    const api = typeof player.ruffle === "function" ? player.ruffle() : player;
    // An empty movie: the header, a stage of no size, and one frame holding nothing.
    api.load({ data: new Uint8Array([0x46, 0x57, 0x53, 10, 17, 0, 0, 0, 0, 0, 12, 1, 0, 0x40, 0, 0, 0]) });
  };
  document.head.appendChild(script);
})();
