#pragma once
// Shows one canvas of a session's scene graph in a render window: a model renderer for the
// drawables, on window layer 1 (background renderers sit below it, the orientation triad
// above), and one VTK prop per drawable, built from the nodes by update().
//
// Renderers, named: "Model" (always, once a canvas was found; layer 1), "Background" (a
// canvas with a background colour; layer 0), "Backdrop" (a canvas with a backdrop gradient;
// layer 0), "Orientation" (a canvas with a triad drawable; layer 2, lower left corner).
// Something on layer 0 must clear the window: a background renderer of the scene or one of
// the window's own.
//
// Threads: update() and the destructor run on the thread that owns the session and the
// window's OpenGL context; update() itself issues no OpenGL calls, the destructor releases the
// props' graphics resources through the window (make its context current first, or call
// releaseGraphicsResources() while it is).
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <vtkCamera.h>
#include <vtkProp.h>
#include <vtkRenderWindow.h>
#include <vtkSmartPointer.h>
#include <vtkWeakPointer.h>

#include "kvg/Drawable.h"
#include "kvg/GenericWindowResourceManager.h"
#include "kvg/SceneCanvasRenderer.h"

namespace kvg {

class DrawableSession;

class DrawableScene {
 public:
  static constexpr int ModelLayer = 1;

  DrawableScene(DrawableSession& session, std::unique_ptr<GenericWindowResourceManager> windowResources,
                const std::string& key);
  ~DrawableScene();
  DrawableScene(const DrawableScene&) = delete;
  DrawableScene& operator=(const DrawableScene&) = delete;

  const std::string& getKey() const { return _key; }
  DrawableSession* getSession() const { return &_session; }
  // Null for a scene without a window.
  vtkRenderWindow* getRenderWindow() const;
  GenericWindowResourceManager* getWindowResourceManager() const { return _window.get(); }

  // Brings renderers and props up to date with the nodes: builds props of new or changed
  // drawables (all of them with force), drops those of drawables that went, applies the
  // attributes, the canvas's clip planes and background, and gives the model renderer's
  // active camera the scene's camera when that camera is new to the scene or the scene's
  // camera changed. Runs the pipelines, so the render thread only draws. Ends by telling the
  // session's services (SessionExtension::sceneUpdated).
  void update(bool force);

  // The model renderer, or null before a canvas was found.
  SceneCanvasRenderer* hasModelRenderer() const { return _model.get(); }
  // The renderer of that name ("Model", "Background", "Backdrop", "Orientation"), or null.
  SceneRenderer* hasRenderer(const std::string& name) const;
  std::vector<SceneRenderer*> getRenderers() const;
  // The canvas shown since the last update; null when the session has none.
  SceneCanvas* getSceneCanvas() const { return _canvas.get(); }

  // The prop of the drawable with that key, or null.
  vtkProp* findProp(const std::string& drawableKey) const;
  size_t getPropCount() const { return _props.size(); }

  // Releases the OpenGL resources of every renderer; the window's context must be current.
  void releaseGraphicsResources();

 private:
  struct PropEntry {
    Ptr<Drawable> drawable;
    vtkSmartPointer<vtkProp> prop;
    vtkRenderer* renderer = nullptr;
    uint64_t mTime = 0;
  };

  Ptr<SceneCanvas> findCanvas() const;
  void ensureModelRenderer();
  SceneRenderer* ensureRenderer(const std::string& name, bool wanted, int layer);
  void removeRenderer(const std::string& name);
  void clearProps();
  void removeProps(const std::vector<PropEntry*>& entries);
  void addProps(const std::vector<PropEntry*>& entries);
  void updateClipPlanes(SceneCanvas& canvas);
  void updateCamera(SceneCanvas& canvas, bool force);
  void updateOrientationCamera();
  void animate(const Drawable& drawable, vtkProp* prop) const;
  void attachRenderers();

  DrawableSession& _session;
  std::unique_ptr<GenericWindowResourceManager> _window;
  std::string _key;
  std::unique_ptr<SceneCanvasRenderer> _model;
  std::map<std::string, std::unique_ptr<SceneRenderer>> _background;
  std::map<std::string, PropEntry> _props;
  Ptr<SceneCanvas> _canvas;
  uint64_t _generation = ~uint64_t(0);
  uint64_t _cameraMTime = 0;
  vtkWeakPointer<vtkCamera> _configuredCamera;
  const std::chrono::steady_clock::time_point _start;
};

}  // namespace kvg
