#pragma once
// Control and inspection of the simulated headset behind openvr.h, for tests and tools.
// The program itself never includes this header: it sees only the VR runtime interface.
#include <cstdint>
#include <string>
#include <vector>

namespace vrsim {

// One haptic pulse a controller received.
struct HapticPulse {
  uint64_t frame;          // pose frame (count of WaitGetPoses calls) when it was triggered
  uint32_t deviceIndex;
  uint32_t axis;
  uint16_t durationMicroSec;
};

// Shuts down any running session and makes the next VR_InitInternal build the simulated
// world from this script text instead of the QUONIX_VRSIM_SCRIPT file (or "vrsim.txt" beside
// "config.ini"). sourceName names the text in error messages. Returns the script's errors
// (each "name:line: message"); lines with errors are skipped, the rest is used.
std::vector<std::string> useScript(const std::string& text, const std::string& sourceName = "script");
// Shuts down any running session; the next initialisation reads the script file again.
void useScriptFile();

// Where the current world's script came from ("" when the defaults run unscripted) and the
// errors its lines had.
std::string scriptName();
std::vector<std::string> scriptErrors();

// Pose frames begun (WaitGetPoses calls) and frames submitted (both eyes) in this world.
uint64_t poseFrameCount();
uint64_t submittedFrameCount();

// Every haptic pulse delivered to a controller, oldest first.
std::vector<HapticPulse> hapticPulses();

// Begins the next pose frame without waiting, as WaitGetPoses does (tests of the system
// interface alone use it).
void advanceFrame();

}  // namespace vrsim
