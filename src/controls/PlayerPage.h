#pragma once
// The program's own page that plays one movie with Ruffle, filling the viewer.
#include <QString>
#include <QUrl>

namespace preview {

// The player page for the movie at `movie`, loading Ruffle from `ruffleBase` (a folder URL
// ending in "/").
QString PlayerPageHtml(const QUrl& movie, const QUrl& ruffleBase);

} // namespace preview
