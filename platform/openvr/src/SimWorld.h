#pragma once
// What the simulated headset user does: the head and two hand controllers with their poses,
// buttons, axes, roles, indices and properties; the event queue; the haptic-pulse log; and the
// failures a script asks the runtime to report. Plain data plus the rules that keep button
// states and events together. Guarded by the runtime's mutex (Runtime).
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "openvr.h"
#include "VRSimulator.h"

namespace vrsim {

struct SimDevice {
  std::string name;  // "hmd", "left" or "right": how scripts name it
  vr::ETrackedDeviceClass deviceClass = vr::TrackedDeviceClass_Invalid;
  vr::TrackedDeviceIndex_t index = vr::k_unTrackedDeviceIndexInvalid;  // invalid: absent
  vr::ETrackedControllerRole role = vr::TrackedControllerRole_Invalid;
  bool connected = true;
  bool tracking = true;  // pose valid while connected
  double rotation[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  double position[3] = {0, 0, 0};
  uint64_t pressed = 0;
  uint32_t packetNum = 1;
  vr::VRControllerAxis_t axes[vr::k_unControllerStateAxisCount] = {};
  // Property values in text form; the property's type decides how a getter reads them.
  std::map<int, std::string> properties;

  bool present() const { return index != vr::k_unTrackedDeviceIndexInvalid; }
  bool isController() const { return deviceClass == vr::TrackedDeviceClass_Controller; }
};

// A failure that the runtime reports for a number of calls (times < 0: for every call).
struct InjectedFailure {
  int code = 0;
  int times = 0;
  bool active() const { return code != 0 && times != 0; }
  // Returns the code to report for this call and uses up one time; 0 when none is due.
  int take();
};

// How a render model (or, with name "*", every model) answers LoadRenderModel_Async.
struct ModelAnswers {
  int loadingAnswers = 0;  // calls that still answer "loading" first
  InjectedFailure failure;
};

class SimWorld {
 public:
  SimWorld();

  // Devices. The world always has these three; a script moves, re-indexes or removes them.
  SimDevice& device(const std::string& name);
  SimDevice* deviceByName(const std::string& name);
  // The present device with that index, or null.
  SimDevice* deviceAt(vr::TrackedDeviceIndex_t index);
  const std::vector<SimDevice>& devices() const { return _devices; }

  // Script actions, applied when their frame begins.
  void setPosition(SimDevice& d, double x, double y, double z);
  void setRotation(SimDevice& d, double yawDeg, double pitchDeg, double rollDeg);
  void setPose(SimDevice& d, const double m[3][4]);
  void press(SimDevice& d, uint32_t button);
  void release(SimDevice& d, uint32_t button);
  void setAxis(SimDevice& d, int axis, float x, float y);
  void setAxisType(SimDevice& d, int axis, int type);
  void setIndex(SimDevice& d, vr::TrackedDeviceIndex_t index);
  void setRole(SimDevice& d, vr::ETrackedControllerRole role);
  void setConnected(SimDevice& d, bool connected);
  void setTracking(SimDevice& d, bool tracking) { d.tracking = tracking; }
  void setProperty(SimDevice& d, int property, const std::string& value);
  void setFocusCaptured(bool captured);

  // The pose as the runtime reports it.
  vr::TrackedDevicePose_t poseOf(const SimDevice& d) const;
  void fillPoses(vr::TrackedDevicePose_t* poses, uint32_t count) const;

  // Events, oldest first; the queue keeps at most a bounded number.
  void pushEvent(uint32_t type, vr::TrackedDeviceIndex_t device, uint32_t button = 0);
  bool popEvent(vr::VREvent_t& event);

  void logHapticPulse(vr::TrackedDeviceIndex_t device, uint32_t axis, uint16_t duration);
  const std::vector<HapticPulse>& hapticPulses() const { return _haptics; }

  // The timeline: frame 0 holds the script's header, applied when the world is built.
  using Action = std::function<void(SimWorld&)>;
  void setTimeline(std::multimap<uint64_t, Action> actions) { _timeline = std::move(actions); }
  void applyFrame(uint64_t frame);
  // Begins the next frame and applies its actions.
  void advanceFrame();
  uint64_t frame() const { return _frame; }

  // Settings a script may change.
  double rate = 90.0;  // frames per second of WaitGetPoses; 0 = no pacing
  uint32_t renderWidth = 640, renderHeight = 720;
  double ipd = 0.064;
  bool focusCaptured = false;
  // Seconds the current frame's wait still lasts beyond its pacing: the script's "time" lines
  // move the runtime's (steady) clock on by holding the frame that long.
  double pendingDelay = 0.0;
  // "clock scripted": the runtime's clock stands still but for the script's "time" lines, which
  // move it on at once instead of holding the frame; frames are not paced.
  bool scriptedClock = false;
  double scriptedSeconds = 0.0;
  // Seconds on the runtime's clock: the scripted one, or the steady one.
  double now() const;
  // Takes the pending "time" delay: on the scripted clock it moves the clock on and nothing is
  // left to wait; otherwise the seconds the frame is to be held.
  double takePendingDelay();
  // A "wait-file" line: the current frame waits until this file exists (a test's go signal).
  std::string pendingFile;

  // Injected failures.
  InjectedFailure initFailure;
  std::vector<std::string> missingInterfaces;
  InjectedFailure submitFailure[2];  // per eye
  std::map<std::string, ModelAnswers> modelAnswers;  // by model name, "*" for any
  ModelAnswers textureAnswers;
  std::vector<std::string> untexturedModels;
  std::vector<std::string> brokenModels;  // their last triangle names a vertex they do not have

 private:
  std::vector<SimDevice> _devices;
  std::deque<vr::VREvent_t> _events;
  std::vector<HapticPulse> _haptics;
  std::multimap<uint64_t, Action> _timeline;
  uint64_t _frame = 0;
};

// Type of a known property; String for numbers the runtime does not know.
enum class PropertyType { String, Bool, Float, Int32, Uint64 };
PropertyType propertyType(int property);
bool isKnownProperty(int property);

}  // namespace vrsim
