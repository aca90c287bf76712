#pragma once
// SceneView: the Qt Quick item that owns everything the headset shows. It draws nothing
// through the Qt Quick scene graph; the start-up connects its window's scene-graph signals
// to the private slots below as direct connections, so those slots run on the Qt Quick
// render thread, while the invokables run on the GUI thread, called from QML.
#include <QMutex>
#include <QOffscreenSurface>
#include <QQuickItem>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "SceneViewSettings.h"
#include "Semaphore.h"

class QOpenGLContext;
class QThread;

class SceneView : public QQuickItem {
  Q_OBJECT

 public:
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

 public:
  // GUI thread, from QML.
  Q_INVOKABLE void reset();
  Q_INVOKABLE QString openServerContinuation1(const QString& host, int port, bool alwaysShowDialog);
  Q_INVOKABLE void openServerContinuation2(const QString& sceneName);
  Q_INVOKABLE QString openFileContinuation1(const QUrl& fileUrl);
  Q_INVOKABLE QString openFileContinuation2(const QString& title);
  Q_INVOKABLE void openFileContinuation3(const QString& title, int frame);
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

 private:
  // Render thread, from onSceneGraphInitialized: acts on the stored command line.
  void openFromCommandLine();
  // Stores the share mask for the collaborative session.
  void setShareMask(const bool shared[6]);

  // Members in construction order; the ones marked "scene-view work" arrive with the
  // scene loader, the render buffers and the server connection.

  // Guards the buffers against the GUI thread. The invokables that open, close, switch, reset
  // or read the view's state hold it for their whole run; the render thread only tries it.
  QRecursiveMutex _viewMutex;
  std::vector<std::wstring> _commandLineArguments;
  // scene-view work: kvg::SDBReader* _sceneReader; RecordsManager* _recordsManager;
  QUrl _sceneUrl;
  // scene-view work: ServerConnection* _connections[4];
  // scene-view work: kvg::VRCallbackForwarder _callbackForwarders[2];
  // scene-view work: VRWidgetCommandHandler* _widgetCommandHandler;
  QString _host;
  int32_t _port = 0;
  std::string _sceneKey;
  std::string _sceneName;
  std::string _controllerType;
  int32_t _activeIndex = 0;
  std::atomic<bool> _backBufferReady{false};
  std::atomic<bool> _firstSwapDone{false};
  // scene-view work: vtkSmartPointer<OpenVRRenderWindow> _renderWindows[2];
  // scene-view work: VRInteractionState* _interactionStates[2];
  // scene-view work: kvg::DrawableSession* _drawableSessions[2]; kvg::DrawableScene* _drawableScenes[2];
  // Context i always goes with buffer i; owned by the thread it was moved to.
  QOpenGLContext* _contexts[2] = {nullptr, nullptr};
  int64_t _updatePositions[2] = {0, 0};
  std::atomic<bool> _sceneResourcesReady[2] = {{false}, {false}};
  std::atomic<bool> _updatesSuspended{false};
  std::atomic<bool> _adjusting{false};
  std::atomic<bool> _resetRequested{false};
  Semaphore _frameDone{0};
  std::atomic<bool> _quickStartRequested{false};
  // Written on the GUI thread, read by the render and updater threads: _settingsMutex guards it.
  SceneViewSettings _settings;
  mutable std::mutex _settingsMutex;
  // scene-view work: IconTextureCache _iconTextureCache;
  // scene-view work: BackBufferUpdater _backBufferUpdater;
  QThread* _renderThread = nullptr;
  // Created and destroyed by the GUI thread's start-up and the render thread's shut-down.
  QOffscreenSurface _offscreenSurface;
  // scene-view work: CollabSession _collabSession; until then the mask it would take.
  std::atomic<int> _shareMask{0};
  // scene-view work: SceneLoader* _sceneLoader;
  std::atomic<bool> _loaderResultReady{false};
  // Held by the GUI thread while a loader task runs (scene-view work).
  QRecursiveMutex _loaderMutex;
  bool _iconsPreloaded = false;
  bool _volumePrerendered[2] = {false, false};
};
