#include "controls/PlayerPreload.h"

#include "controls/HtmlCtrl.h"
#include "controls/PlayerPage.h"
#include "controls/PreviewEngine.h"
#include "controls/PreviewSchemeHandler.h"

#include <QWebEnginePage>

namespace preview {

void PreloadPlayer(CHtmlCtrl& viewer)
{
    QWebEnginePage* page = viewer.Browser();
    if (page == nullptr || !SchemeHandler()->HasRuffle())
        return;
    // The first load to finish is the start page's; a movie clicked before it finishes ends it unloaded.
    QObject::connect(
        page, &QWebEnginePage::loadFinished, page,
        [page](bool ok) {
            if (ok)
                page->runJavaScript(PlayerPreloadScript(SchemeHandler()->RuffleBase()));
        },
        Qt::SingleShotConnection);
}

} // namespace preview
