#pragma once
// The web engine behind every preview: one off-the-record profile shared by all viewers, with the
// handler of the program's own scheme. Nothing is created before the first viewer asks for it.
#include <QString>

class QWebEngineProfile;
class CPreviewRecorder;
class CPreviewSchemeHandler;

namespace preview {

// Registers the program's scheme with the web engine. Must run before the engine starts; calling
// it again does nothing.
void RegisterScheme();

// The shared profile, created on first call. It keeps cache, cookies and storage in memory only.
QWebEngineProfile* Profile();
CPreviewSchemeHandler* SchemeHandler();
// What every preview asks for while it plays (the profile's request interceptor).
CPreviewRecorder* Recorder();

// Whether the profile exists yet.
bool EngineStarted();

// The folder holding ruffle.js and its companions, found from the program's folder: "ruffle" beside
// it (the build folder), else the installed player, share/plumeroc/ruffle next to the program's bin/.
// Empty when neither has the player.
QString FindRuffleFolder(const QString& programFolder);

} // namespace preview
