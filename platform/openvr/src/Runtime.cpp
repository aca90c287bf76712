#include "Runtime.h"

#include <chrono>
#include <thread>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "ErrorText.h"
#include "Platform.h"
#include "ScriptParser.h"
#include "SimCompositor.h"
#include "SimRenderModels.h"
#include "SimSystem.h"
#include "StringHelper.h"
#include "VRSimulator.h"

namespace vrsim {

namespace {
using Guard = std::lock_guard<std::recursive_mutex>;
}

Runtime& Runtime::instance() {
  // Never destroyed: interface pointers handed out stay callable during the exit handlers.
  static Runtime* runtime = new Runtime();
  return *runtime;
}

Runtime::Runtime() = default;

SimWorld& Runtime::world() {
  if (!_world) buildWorld();
  return *_world;
}

bool Runtime::readScriptFile(std::string& text, std::string& name) {
  const char* env = std::getenv("QUONIX_VRSIM_SCRIPT");
  std::string path;
  if (env && *env) {
    path = env;
  } else {
    std::wstring base;
    Platform::filesystem().getBaseDirectory(base);
    const std::wstring candidate = base + L"/vrsim.txt";
    if (!Platform::filesystem().fileExists(candidate)) return false;
    path = StringHelper::toString(candidate);
  }
  name = path;
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  if (in) content << in.rdbuf();
  if (!in || in.bad()) {
    _scriptErrors.push_back(path + ": cannot read the script; the headset runs with its defaults");
    return false;
  }
  text = content.str();
  return true;
}

void Runtime::buildWorld() {
  _world = std::make_unique<SimWorld>();
  _frames.reset();
  _scriptErrors.clear();
  std::string text;
  std::string name;
  bool haveText = false;
  if (_haveScriptText) {
    text = _scriptText;
    name = _scriptName;
    haveText = true;
  } else {
    haveText = readScriptFile(text, name);
  }
  _scriptName = haveText ? name : std::string();
  if (haveText) {
    _world->setTimeline(ScriptParser::parse(text, name, _scriptErrors));
    _world->applyFrame(0);
  }
  for (const std::string& e : _scriptErrors) std::cerr << "vrsim: " << e << std::endl;
}

uint32_t Runtime::init(vr::EVRInitError& error, vr::EVRApplicationType) {
  SimWorld& w = world();
  if (_token != 0) {
    error = vr::VRInitError_None;
    return _token;
  }
  if (int code = w.initFailure.take()) {
    error = vr::EVRInitError(code);
    return 0;
  }
  _token = ++_lastToken;
  if (_token == 0) _token = ++_lastToken;
  _systems.push_back(std::make_unique<SimSystem>(_token));
  _compositors.push_back(std::make_unique<SimCompositor>(_token));
  _renderModelSets.push_back(std::make_unique<SimRenderModels>(_token));
  _system = _systems.back().get();
  _compositor = _compositors.back().get();
  _renderModels = _renderModelSets.back().get();
  _frames.configureFromEnvironment();
  error = vr::VRInitError_None;
  return _token;
}

void Runtime::shutdown() {
  _token = 0;
  _system = nullptr;
  _compositor = nullptr;
  _renderModels = nullptr;
}

void* Runtime::genericInterface(const char* version, vr::EVRInitError& error) {
  if (_token == 0) {
    error = vr::VRInitError_Init_NotInitialized;
    return nullptr;
  }
  if (!interfaceValid(version)) {
    error = vr::VRInitError_Init_InterfaceNotFound;
    return nullptr;
  }
  error = vr::VRInitError_None;
  const std::string v = version;
  if (v == vr::IVRSystem_Version) return static_cast<vr::IVRSystem*>(_system);
  if (v == vr::IVRCompositor_Version) return static_cast<vr::IVRCompositor*>(_compositor);
  return static_cast<vr::IVRRenderModels*>(_renderModels);
}

bool Runtime::interfaceValid(const char* version) {
  if (_token == 0 || !version) return false;
  const std::string v = version;
  if (v != vr::IVRSystem_Version && v != vr::IVRCompositor_Version && v != vr::IVRRenderModels_Version)
    return false;
  for (const std::string& missing : world().missingInterfaces)
    if (missing == v) return false;
  return true;
}

std::vector<std::string> Runtime::useScript(const std::string& text, const std::string& name) {
  shutdown();
  _haveScriptText = true;
  _scriptText = text;
  _scriptName = name;
  buildWorld();
  return _scriptErrors;
}

void Runtime::useScriptFile() {
  shutdown();
  _haveScriptText = false;
  _world.reset();
}

// ---------------------------------------------------------------------------------------------
// Control API

std::vector<std::string> useScript(const std::string& text, const std::string& sourceName) {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  return rt.useScript(text, sourceName);
}

void useScriptFile() {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  rt.useScriptFile();
}

std::string scriptName() {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  rt.world();
  return rt.scriptName();
}

std::vector<std::string> scriptErrors() {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  rt.world();
  return rt.scriptErrors();
}

uint64_t poseFrameCount() {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  return rt.world().frame();
}

uint64_t submittedFrameCount() {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  return rt.frames().submittedFrames();
}

std::vector<HapticPulse> hapticPulses() {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  return rt.world().hapticPulses();
}

void advanceFrame() {
  Runtime& rt = Runtime::instance();
  Guard guard(rt.mutex());
  rt.frames().beginFrame();
  rt.world().advanceFrame();
  // Held here too, with the mutex kept: only this thread drives such a world.
  const double delay = rt.world().takePendingDelay();
  if (delay > 0) std::this_thread::sleep_for(std::chrono::duration<double>(delay));
}

}  // namespace vrsim

// -----------------------------------------------------------------------------------------------
// Runtime entry points

namespace vr {

using vrsim::Runtime;

uint32_t VR_InitInternal(EVRInitError* peError, EVRApplicationType eApplicationType) {
  Runtime& rt = Runtime::instance();
  std::lock_guard<std::recursive_mutex> guard(rt.mutex());
  EVRInitError error = VRInitError_None;
  const uint32_t token = rt.init(error, eApplicationType);
  if (peError) *peError = error;
  return token;
}

void VR_ShutdownInternal() {
  Runtime& rt = Runtime::instance();
  std::lock_guard<std::recursive_mutex> guard(rt.mutex());
  rt.shutdown();
}

bool VR_IsHmdPresent() {
  Runtime& rt = Runtime::instance();
  std::lock_guard<std::recursive_mutex> guard(rt.mutex());
  vrsim::SimWorld& world = rt.world();
  if (world.initFailure.active() && world.initFailure.code == VRInitError_Init_HmdNotFound) return false;
  vrsim::SimDevice* hmd = world.deviceByName("hmd");
  return hmd && hmd->present();
}

bool VR_IsRuntimeInstalled() { return true; }

uint32_t VR_GetInitToken() {
  Runtime& rt = Runtime::instance();
  std::lock_guard<std::recursive_mutex> guard(rt.mutex());
  return rt.token();
}

void* VR_GetGenericInterface(const char* pchInterfaceVersion, EVRInitError* peError) {
  Runtime& rt = Runtime::instance();
  std::lock_guard<std::recursive_mutex> guard(rt.mutex());
  EVRInitError error = VRInitError_None;
  void* result = rt.genericInterface(pchInterfaceVersion, error);
  if (peError) *peError = error;
  return result;
}

bool VR_IsInterfaceVersionValid(const char* pchInterfaceVersion) {
  Runtime& rt = Runtime::instance();
  std::lock_guard<std::recursive_mutex> guard(rt.mutex());
  return rt.interfaceValid(pchInterfaceVersion);
}

const char* VR_GetVRInitErrorAsSymbol(EVRInitError error) { return vrsim::initErrorSymbol(error); }

const char* VR_GetVRInitErrorAsEnglishDescription(EVRInitError error) {
  return vrsim::initErrorDescription(error);
}

}  // namespace vr
