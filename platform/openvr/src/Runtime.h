#pragma once
// The simulated runtime's process-wide state: initialisation sessions with their tokens and
// interface objects, the simulated world built from the script, the compositor's frame record
// and the render-model store. Everything is guarded by one recursive mutex; every entry point
// takes it (the program additionally serialises its calls with its render lock).
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "openvr.h"
#include "FrameCompositor.h"
#include "RenderModelStore.h"
#include "SimWorld.h"

namespace vrsim {

class SimSystem;
class SimCompositor;
class SimRenderModels;

class Runtime {
 public:
  static Runtime& instance();

  std::recursive_mutex& mutex() { return _mutex; }

  // Everything below: the caller holds mutex().

  // True while token names the running session (interface objects of an ended session
  // answer as if the runtime were not initialised).
  bool isCurrent(uint32_t token) const { return token != 0 && token == _token; }
  uint32_t token() const { return _token; }

  // The simulated world, built from the script on first use.
  SimWorld& world();
  FrameCompositor& frames() { return _frames; }
  RenderModelStore& models() { return _models; }

  uint32_t init(vr::EVRInitError& error, vr::EVRApplicationType type);
  void shutdown();
  void* genericInterface(const char* version, vr::EVRInitError& error);
  bool interfaceValid(const char* version);

  // Script selection (see VRSimulator.h).
  std::vector<std::string> useScript(const std::string& text, const std::string& name);
  void useScriptFile();
  const std::string& scriptName() const { return _scriptName; }
  const std::vector<std::string>& scriptErrors() const { return _scriptErrors; }

 private:
  Runtime();
  ~Runtime() = delete;  // lives until the process ends: interface pointers stay valid
  void buildWorld();
  bool readScriptFile(std::string& text, std::string& name);

  std::recursive_mutex _mutex;
  std::unique_ptr<SimWorld> _world;
  FrameCompositor _frames;
  RenderModelStore _models;

  bool _haveScriptText = false;  // a test or tool gave the script text
  std::string _scriptText;
  std::string _scriptName;
  std::vector<std::string> _scriptErrors;

  uint32_t _token = 0;
  uint32_t _lastToken = 0;
  SimSystem* _system = nullptr;
  SimCompositor* _compositor = nullptr;
  SimRenderModels* _renderModels = nullptr;
  // Interface objects of every session, kept so that stale pointers stay harmless.
  std::vector<std::unique_ptr<SimSystem>> _systems;
  std::vector<std::unique_ptr<SimCompositor>> _compositors;
  std::vector<std::unique_ptr<SimRenderModels>> _renderModelSets;
};

}  // namespace vrsim
