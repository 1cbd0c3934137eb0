// Run before Ruffle by the player page and by the player's preload: the road to the program's own
// scheme, and Ruffle's settings.

// The engine's fetch() refuses the program's own scheme, which serves Ruffle's files and local
// movies; XMLHttpRequest reaches it, so such requests take that road.
(function () {
  const nativeFetch = window.fetch.bind(window);
  const base = new URL("@RUFFLE@");
  window.fetch = function (input, init) {
    const address = typeof input === "string" || input instanceof URL ? String(input) : input.url;
    const url = new URL(address, document.baseURI);
    if (url.protocol !== base.protocol)
      return nativeFetch(input, init);
    return new Promise(function (resolve, reject) {
      const request = new XMLHttpRequest();
      request.open("GET", url.href);
      request.responseType = "arraybuffer";
      request.onload = function () {
        const type = request.getResponseHeader("Content-Type") || "application/octet-stream";
        resolve(new Response(request.response, { status: request.status || 200, headers: { "Content-Type": type } }));
      };
      request.onerror = function () { reject(new TypeError("Failed to fetch " + url.href)); };
      request.send();
    });
  };
})();
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = {
  publicPath: "@RUFFLE@",
  polyfills: false,
  autoplay: "on",
  unmuteOverlay: "hidden",
  splashScreen: false,
  showSwfDownload: false,
  logLevel: "error"
};
