#pragma once
// The application body: command-line check, Qt set-up, the main window from the embedded QML,
// its wiring to the scene view, and the event loop. Everything here runs on the GUI thread.
#include <QString>
#include <QUrl>

#include <iosfwd>
#include <string>
#include <vector>

class QCoreApplication;
class QQmlApplicationEngine;
class QQuickWindow;
class SceneView;

// The program's arguments without the program name; returns the process exit code.
int RunApplication(const std::vector<std::wstring>& arguments);
// The same with another main-window QML (tests load broken ones).
int RunApplication(const std::vector<std::wstring>& arguments, const QUrl& mainQml);

// Exit code of a start-up that cannot go on (no main window, no scene view).
constexpr int kStartUpFailureExitCode = 2;

// True when the usage text must be printed: "--help" or "/?" as the first argument (exact
// comparison), or more than two arguments. Host and port go on whatever the port says: the
// opening reports a port it cannot use, as it does for the server dialog's.
bool IsUsageRequested(const std::vector<std::wstring>& arguments);
// The three usage lines.
void PrintUsage(std::ostream& out);

// Before the application object: render loop, default surface format, message handler,
// organisation and application names, and the logger's console output.
void SetUpQtEnvironment();
// After the application object: SceneView as QML type "SceneView" 1.0.
void RegisterQmlTypes();
// The font folder beside the executable; its font becomes the application font at 10 points.
// A missing font (or one without a family) is skipped.
void LoadApplicationFont();
// Loads the QML and returns its first root object as a window; null (and why, in error) when
// there is none.
QQuickWindow* LoadMainWindow(QQmlApplicationEngine& engine, const QUrl& url, QString& error);
// Swap interval 0 on the default format (keeping its depth and stencil), persistent context
// and scene graph, the icon, no window state.
void SetUpMainWindow(QQuickWindow* window);
// The window's descendant SceneView named "sceneView", or null.
SceneView* FindSceneView(QQuickWindow* window);
// Direct connections of the window's scene-graph signals and the application's aboutToQuit to
// the view's slots of the same names prefixed "on"; false when one of them failed.
bool ConnectSceneView(QQuickWindow* window, SceneView* view, QCoreApplication* application);
