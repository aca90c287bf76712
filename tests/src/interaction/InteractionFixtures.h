#pragma once
// Fixtures of the interaction tests: a drawable session whose scene shows one box, and the
// simulated headset started from a script.
#include <array>
#include <memory>
#include <string>

#include <vtkRenderer.h>

#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"

class vtkRenderWindow;

// A session with a canvas holding one box of the given centre and side lengths (colour for
// the eye images), and its drawable scene, drawn into the window when one is given.
class BoxScene {
 public:
  BoxScene(const std::array<double, 3>& center, const std::array<double, 3>& sides, vtkRenderWindow* window = nullptr,
           const std::array<double, 3>& color = {1.0, 0.0, 1.0});
  // A session and scene without a canvas: no model renderer.
  BoxScene();
  ~BoxScene();

  kvg::DrawableSession* session() { return _session.get(); }
  kvg::DrawableScene& scene() { return *_scene; }
  vtkRenderer* renderer() {
    return _scene->hasModelRenderer() ? _scene->hasModelRenderer()->getVTKRenderer() : nullptr;
  }
  const std::string& canvasKey() const { return _key; }

 private:
  std::unique_ptr<kvg::DrawableSession> _session;
  kvg::DrawableScene* _scene = nullptr;
  std::string _key;
};

// Makes the simulated headset run the script (unpaced unless it sets a rate) and starts the
// runtime; shuts it down on destruction.
class ScriptedHeadset {
 public:
  explicit ScriptedHeadset(const std::string& script);
  ~ScriptedHeadset();
};
