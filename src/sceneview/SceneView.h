#pragma once
// SceneView: the Qt Quick item that owns everything the headset shows. It draws nothing
// through the Qt Quick scene graph; the start-up connects its window's scene-graph signals
// to the private slots below as direct connections, so those slots run on the Qt Quick
// render thread, while the invokables run on the GUI thread, called from QML.
#include <QEventLoop>
#include <QMutex>
#include <QOffscreenSurface>
#include <QQuickItem>
#include <QString>
#include <QThread>
#include <QUrl>
#include <QVariant>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include <vtkImageData.h>  // the render window holds its HUD image by smart pointer
#include <vtkSmartPointer.h>

#include "CollabSession.h"
#include "IconTextureCache.h"
#include "MovingModelSurfaces.h"
#include "OpenVRRenderWindow.h"
#include "Properties.h"
#include "SceneViewSettings.h"
#include "SurfaceReduction.h"
#include "VRCallbackForwarder.h"
#include "Semaphore.h"

class QOpenGLContext;
class QQuickWindow;
class RecordsManager;
class SceneLoader;
class ServerConnection;
class VRInteractionState;
class VRWidgetCommandHandler;
class vtkRenderer;
namespace kvg {
class DrawableScene;
class DrawableSession;
class SDBReader;
}  // namespace kvg

class SceneView : public QQuickItem {
  Q_OBJECT
  // Tests hold the view and look at its buffers.
  friend class SceneViewProbe;

 public:
  // GUI thread (also from inside a loader task's wait), when the program is to quit: closes the
  // server connections, so a request in progress ends at once, and no later wait of the view
  // (server step, reset handshake) outlasts the quit.
  void interruptServerRequests();
  explicit SceneView(QQuickItem* parent = nullptr);
  ~SceneView() override;

  // Start-up, GUI thread, in this order after the QML window exists.
  void createOffscreenSurface();
  void setCommandLineArguments(const std::vector<std::wstring>& arguments);
  void readSettingsDialog();
  // After the site settings know the application folder.
  void setUpAnalytics();

  // A copy of the settings record; any thread.
  SceneViewSettings settingsSnapshot() const;
  // The share mask taken from the shared-settings dialog (bit 1 HUD, 2 fly mode, 4 floor and
  // ceiling, 8 volume rendering, 16 particle radius, 32 particle speed).
  int collaborativeShareMask() const;

  // The first descendant of the item's window with that object name; null when there is none.
  QObject* findQmlChild(const QString& objectName) const;
  // Sets a property of findQmlChild(objectName); reports a missing object or a refused
  // property on standard output.
  void setQmlProperty(const QString& objectName, const char* propertyName, const QVariant& value);
  // File paths from QML reach the wide-path calls through UTF-8.
  static std::wstring toWString(const QString& text);
  // A server reply's error test: false when the reply carries Error::ERROR_TAG, with error set
  // to the server's message and the hint on its cause when the reply has Error::MESSAGE_TAG
  // (else error is left as it was).
  static bool checkServerReply(const Properties& reply, std::string& error);

 signals:
  void openFileComplete();
  void openServerComplete();
  void switchScenePossible();
  void errorMessage(const QString& error);
  void fatalError(const QString& error);

 private slots:
  // Render thread: one VR frame.
  void onBeforeRendering();
  // Render thread.
  void onFrameSwapped();
  // Render thread, once: OpenGL and OpenVR start.
  void onSceneGraphInitialized();
  // Render thread: OpenVR shut-down.
  void onSceneGraphInvalidated();
  // GUI thread (the application's aboutToQuit is connected directly).
  void onAboutToQuit();
  // Render thread.
  void onBeforeSynchronizing();
  // GUI thread (queued from the scene loader).
  void handleResults(const QString&);
  // GUI thread (queued from the render thread by name, so no functor crosses the threads): a
  // lost or rejoined shared session shows in the window's title.
  void showSharedSessionLink(bool joined);

 public:
  // GUI thread, from QML.
  Q_INVOKABLE void reset();
  Q_INVOKABLE QString openServerContinuation1(const QString& host, int port, bool alwaysShowDialog);
  Q_INVOKABLE void openServerContinuation2(const QString& sceneName);
  Q_INVOKABLE QString openFileContinuation1(const QUrl& fileUrl);
  // The pickers name the frame set by its index as well (frameset >= 0), which then decides;
  // without it the first frame set with that title is taken.
  Q_INVOKABLE QString openFileContinuation2(const QString& title, int frameset = -1);
  Q_INVOKABLE void openFileContinuation3(const QString& title, int frame, int frameset = -1);
  Q_INVOKABLE void switchScene();
  Q_INVOKABLE QString getUpdatedAboutDialogText();
  Q_INVOKABLE void closeServerScene();
  Q_INVOKABLE void quickStart();
  Q_INVOKABLE void settings(double volumeRenderingQuality, const QString& floorTexScale, const QString& ceilTexScale,
                            bool accurateVolumeClipping, const QString& floorTexFileName,
                            const QString& ceilTexFileName, bool swapLeftRight, bool preserveOrientation,
                            double isoSurfaceOpacity, double snappingAngle, const QString& maxSceneMinification,
                            const QString& maxSceneMagnification);
  Q_INVOKABLE void collaborativeSettings(bool hudIsShared, bool superManModeIsShared, bool floorVisibleIsShared,
                                         bool enableVolRendIsShared, bool particleRadiusFactorIsShared,
                                         bool particleSpeedFactorIsShared);

 public:
  // One pass of the back buffer's preparation per start; the thread then ends. Works only on
  // the buffer the render thread does not show, whose context it owns for the pass.
  class BackBufferUpdater : public QThread {
   public:
    explicit BackBufferUpdater(SceneView& sceneView) : _sceneView(sceneView) {}

   protected:
    // Back-buffer updater thread.
    void run() override;

   private:
    SceneView& _sceneView;
  };

  // The failed threading check: "Threading model violation" with the condition text.
  static void checkThreading(bool condition, const char* conditionText, int line);

 private:
  // Render thread, from onSceneGraphInitialized: acts on the stored command line.
  void openFromCommandLine();
  // Stores the share mask for the collaborative session.
  void setShareMask(const bool shared[6]);

  // ---- Buffers (SceneView.cpp, SceneViewFrame.cpp, BackBufferUpdater.cpp) ----

  // GUI thread (construction, reset): a new session in the slot, replacing the old one.
  void createDrawableSession(std::unique_ptr<kvg::DrawableSession>& slot);
  // Back-buffer updater thread, buffer i's context current: the drawable scene, the
  // interaction state and the icon preload of a buffer after a load.
  void setUpSceneResources(int i);
  // GUI thread at start-up, updater thread at every scene set-up.
  void loadWidgetLibrary();
  // Render thread, window context current: loads the icon textures on a thread and context of
  // their own while the first scene loads, off the path to its first frame.
  void startIconPreload(QOpenGLContext* windowContext);
  // Any thread but the preload's: returns once the preload has ended (or never started).
  void waitForIconPreload();
  // Any thread but the preload's: returns once the preload has announced the icons and loaded
  // the room's textures (or never started); the icons and palette images may still be on their way.
  void waitForPreloadedIcons();
  // Back-buffer updater thread, buffer b's context current: scene update, renderer set-up,
  // HUD snapshot and the scene's analysis for the interaction state.
  void updateSceneAndCamera(int b);
  // The scene's "Backdrop", "Orientation" and "Background" renderers present.
  static std::unordered_set<vtkRenderer*> configureBackground(kvg::DrawableScene& scene);
  // Render thread, buffer i's context current: everything of the buffer that holds graphics
  // resources (layer props, interaction state, session with its scenes) goes.
  void releaseBufferResources(int i);
  // Render thread: the reset handshake, then posts _frameDone.
  void runResetHandshake();
  // Render thread, active context current on the window: the first frame of a buffer with
  // volumes renders the volume and iso-surface paths once, off-stereo.
  void prerenderVolumes();
  // Render thread, the scene graph going away: every buffer's graphics resources are released
  // in its own context, the contexts are deleted and the headset runtime shut down.
  void releaseGraphics();
  // GUI thread: both contexts on the render thread before a reset; waits for the updater.
  void bringBackContextHome(const char* status);
  // GUI thread: the render-thread handshake of reset; true once the render thread posted. False
  // without waiting on when no frame can come (the window is not exposed) or the program quits:
  // the handshake then runs at the next frame or not at all.
  bool waitForResetHandshake();
  // GUI thread, view mutex held, the updater stopped: buffer i's interaction state and session
  // are set aside for the render thread to release in context i (handshake or shut-down).
  void retireBuffer(int i);
  // Render thread, context i current, _retiredMutex held: what retireBuffer set aside goes, with
  // the render window's layer props.
  void releaseRetired(int i);
  // Render thread: why the current context cannot serve the view; empty when it can.
  static QString checkOpenGL(QOpenGLContext* context);
  // The same with the context's direct rendering given (tests pass an indirect one).
  static QString checkOpenGL(QOpenGLContext* context, bool directRendering);
  // The invariant of a view at rest (end of start-up and reset).
  void checkThreadingModel() const;
  // True once the render thread made both contexts and render windows.
  bool hasGraphics() const { return _contexts[0] != nullptr && _contexts[1] != nullptr; }
  // Any thread: a make-current callable for the render window.
  static std::function<void()> makeCurrentOn(QOpenGLContext* context, QSurface* surface);

  // ---- Scene loader (SceneViewLoading.cpp) ----
 public:
  // GUI thread: runs one loader task (SceneLoader::TaskCode) and returns when it has ended,
  // showing title, " - ", status and cycling dots in the window title meanwhile. The task's
  // results are then in sceneLoader().
  void startLoaderTask(const std::string& title, const std::string& status, uint32_t taskCode,
                       const Properties& record = Properties());
  // GUI thread: the window title becomes title (and " - " status when status is not empty);
  // pending events run, user input excepted, which waits until the view is idle again.
  void showStatus(const std::string& title, const std::string& status);
  const SceneLoader& sceneLoader() const { return *_sceneLoader; }
  // GUI thread: true while an event is being processed from inside the view's own waits. An
  // invokable that would open, close, switch or reset must then refuse (it would tear down what
  // the waiting operation is using); refuseReentry reports that and returns true.
  bool isProcessingViewEvents() const { return _viewEventDepth > 0; }
  // GUI thread: an opened scene waits in the back buffer for the render thread to swap it in,
  // nothing is shown yet, and the window is exposed, so the swap will come.
  bool isAwaitingSceneSwap() const;
  bool refuseReentry(const char* operation) const;
  // GUI thread: waits, processing events, until a reset handshake still to come has run; false
  // when the program quits first.
  bool awaitResetHandshake();
  // GUI thread: processes events for the view's waits (see isProcessingViewEvents).
  void processViewEvents(QEventLoop::ProcessEventsFlags flags);

 private:
  // Constructor: the loader thread with resultReady connected to handleResults.
  void createSceneLoader();
  // Destructor: asks the loader thread to end and waits for it.
  void stopSceneLoader();

  // ---- Scene files and pickers (SceneViewFiles.cpp) ----
  // Opens the file at path; empty on success, else the reason.
  std::string openSceneFile(const std::wstring& path);
  // Forgets the open file's reader and records (reset).
  void closeSceneFile();
  std::vector<std::string> listFramesetTitles() const;
  // Labels of the frame set's frames; empty for an unknown index.
  std::vector<std::string> listFrames(int frameset) const;
  // The first frame set with that title; -1 when none.
  int findFramesetByTitle(const std::string& title) const;
  // Steps 2 and 3 of the file opening for a frame set given by index.
  QString openFrameset(int frameset);
  void openFrame(int frameset, int frame);
  // Resets the view and reports the error for an error box.
  void failOpening(const QString& message);

  // ---- Server connection and server scenes (SceneViewServer.cpp) ----
  // GUI thread, view mutex held: four new connections, the command thread on connection 3, the
  // command and notification sockets, the collaborative service. Empty on success, else why.
  std::string connectToServer();
  // GUI thread: the scene names on the connection; empty on success, else why. Bounded: a
  // failed request or too many replies without names end it; the window stays painted.
  std::string queryServerSceneNames(ServerConnection& connection, std::vector<std::string>& names);
  // GUI thread, view mutex held: the command thread ends, the forwarders and the drawable
  // sessions let go of the connections, then the connections go. Also without a scene key.
  void disconnectFromServer();
  // GUI thread (queued from a connection's notification or the updater thread): a drawable
  // session's server feed failed; reported once, and the view is reset.
  void onServerSessionFailed(uint64_t generation, const QString& reason);
  // "Mavolin Quonix Virtual Reality - host:port".
  std::string serverTitle() const;

  // Members in construction order.

  // Guards the buffers against the GUI thread. The invokables that open, close, switch, reset
  // or read the view's state hold it for their whole run; the render thread only tries it.
  QRecursiveMutex _viewMutex;
  std::vector<std::wstring> _commandLineArguments;
  std::unique_ptr<kvg::SDBReader> _sceneReader;
  std::unique_ptr<RecordsManager> _recordsManager;
  QUrl _sceneUrl;
  // The four connections to the simulation server; GUI and loader threads.
  std::unique_ptr<ServerConnection> _connections[4];
  // Forwarder i is the callback forwarder of drawable session i.
  kvg::VRCallbackForwarder _callbackForwarders[2];
  // Counts connects and disconnects (GUI thread), so a late failure report of an earlier
  // connection is told apart.
  uint64_t _serverGeneration = 0;
  std::unique_ptr<VRWidgetCommandHandler> _widgetCommandHandler;
  QString _host;
  int32_t _port = 0;
  std::string _sceneKey;
  std::string _sceneName;
  std::string _controllerType;
  // The buffer the render thread shows. Written by the render thread at a swap and by reset
  // while the updater is stopped.
  std::atomic<int32_t> _activeIndex{0};
  std::atomic<bool> _backBufferReady{false};
  std::atomic<bool> _firstSwapDone{false};
  // Buffer i: render window, interaction state, drawable session and scene, context. Each is
  // touched only by the thread that owns context i at the time (render thread or updater).
  vtkSmartPointer<OpenVRRenderWindow> _renderWindows[2];
  std::unique_ptr<VRInteractionState> _interactionStates[2];
  std::unique_ptr<kvg::DrawableSession> _drawableSessions[2];
  kvg::DrawableScene* _drawableScenes[2] = {nullptr, nullptr};
  // Buffer i's big surfaces drawn reduced while the model moves; touched like the buffer's
  // interaction state. Their copies come from _surfaceReduction, shared by both buffers.
  SurfaceReduction _surfaceReduction;
  std::unique_ptr<MovingModelSurfaces> _movingSurfaces[2];
  // Context i always goes with buffer i; only the thread it was moved to may make it current.
  QOpenGLContext* _contexts[2] = {nullptr, nullptr};
  int64_t _updatePositions[2] = {0, 0};
  std::atomic<bool> _sceneResourcesReady[2] = {{false}, {false}};
  std::atomic<bool> _updatesSuspended{false};
  std::atomic<bool> _adjusting{false};
  std::atomic<bool> _resetRequested{false};
  Semaphore _frameDone{0};
  // Completed reset handshakes: a reset nested in another's wait ends both waits.
  std::atomic<uint64_t> _resetHandshakes{0};
  std::atomic<bool> _quickStartRequested{false};
  // A quit was asked for (signal, Quit, closing the window): no wait of the view outlasts it.
  std::atomic<bool> _quitting{false};
  // The application ends (set on the GUI thread by its aboutToQuit; read by the render thread):
  // no frame is drawn any more, and the shut-down leaves the drawable sessions whole for the
  // process's end (releaseBufferResources).
  std::atomic<bool> _exiting{false};
  // What resets set aside per buffer. The render thread releases it (in the buffer's context) in
  // the reset handshake or at shut-down, which may come long after a reset that could not wait
  // for a frame; the GUI thread adds to it. The handshake holds the mutex for its whole run.
  std::mutex _retiredMutex;
  std::vector<std::unique_ptr<VRInteractionState>> _retiredStates[2];
  std::vector<std::unique_ptr<kvg::DrawableSession>> _retiredSessions[2];
  // Written on the GUI thread, read by the render and updater threads: _settingsMutex guards it.
  SceneViewSettings _settings;
  mutable std::mutex _settingsMutex;
  // Its textures are shared by both contexts; released by the render thread at shut-down.
  IconTextureCache _iconTextureCache;
  BackBufferUpdater _backBufferUpdater{*this};
  QThread* _renderThread = nullptr;
  // Created and destroyed on the GUI thread; made current on by the render thread (start-up)
  // and the updater (its pass).
  QOffscreenSurface _offscreenSurface;
  // The interaction layer's side of the session's frame operations (render thread).
  std::unique_ptr<CollaborativeScene> _collabScene;
  CollabSession _collabSession;
  // The mask given to the collaborative session.
  std::atomic<int> _shareMask{0};
  std::unique_ptr<SceneLoader> _sceneLoader;
  std::atomic<bool> _loaderResultReady{false};
  // Held by the GUI thread while a loader task runs.
  QRecursiveMutex _loaderMutex;
  // Nesting depth of processViewEvents; GUI thread only.
  int _viewEventDepth = 0;
  bool _iconsPreloaded = false;  // written by the preload under _iconStepMutex
  // Guards _iconStepEnded and _iconsPreloaded; the preload's icon step signals its end on it.
  std::mutex _iconStepMutex;
  std::condition_variable _iconStepEndedCondition;
  bool _iconStepEnded = false;
  std::atomic<bool> _widgetLibraryReported{false};  // the missing widget library was logged
  // Runs the icon preload once; its context lives and dies on it. Started by the render thread.
  QThread* _iconPreloader = nullptr;
  // The preload's surface: created and destroyed on the GUI thread like _offscreenSurface.
  QOffscreenSurface _preloadSurface;
  bool _volumePrerendered[2] = {false, false};
  // The two eye textures both render windows resolve into (render thread).
  unsigned int _eyeTextures[2] = {0, 0};
  // The headset runtime was started by the render thread and is to be shut down there.
  bool _vrStarted = false;
};

// A port argument as a decimal integer: leading blanks and a sign allowed, digits up to the
// first other character. False (port unchanged) without a digit or beyond 32 bits.
bool ParsePortArgument(const std::wstring& text, int& port);
