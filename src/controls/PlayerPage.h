#pragma once
// The program's own page that plays one movie with Ruffle, filling the viewer.
#include <QString>
#include <QUrl>

namespace preview {

// The player page for the movie at `movie`, loading Ruffle from `ruffleBase` (a folder URL
// ending in "/"). The movie's relative loads are resolved against `base`, a folder URL, when it is
// given, and against the page's own address otherwise.
QString PlayerPageHtml(const QUrl& movie, const QUrl& ruffleBase, const QUrl& base = {});

// A script that loads Ruffle from `ruffleBase` into the page shown now, out of sight, has it open an
// empty movie and lets it go (player-preload.js).
QString PlayerPreloadScript(const QUrl& ruffleBase);

} // namespace preview
