#pragma once
// The program's own page that plays one movie with Ruffle, filling the viewer.
#include <QString>
#include <QUrl>

namespace preview {

// The player page for the movie at `movie`, loading Ruffle from `ruffleBase` (a folder URL
// ending in "/").
QString PlayerPageHtml(const QUrl& movie, const QUrl& ruffleBase);

// A script that loads Ruffle from `ruffleBase` into the page shown now, out of sight, has it open an
// empty movie and lets it go (player-preload.js).
QString PlayerPreloadScript(const QUrl& ruffleBase);

} // namespace preview
