#include "ScriptParser.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <algorithm>


namespace vrsim {

namespace {

// Thrown for a line that cannot be used; caught per line.
struct LineError {
  std::string message;
};

double toReal(const std::string& word) {
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(word.c_str(), &end);
  if (word.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v))
    throw LineError{"'" + word + "' is not a number"};
  return v;
}

long long toInteger(const std::string& word, long long low, long long high) {
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(word.c_str(), &end, 10);
  if (word.empty() || *end != '\0' || errno == ERANGE)
    throw LineError{"'" + word + "' is not a whole number"};
  if (v < low || v > high)
    throw LineError{"'" + word + "' is outside " + std::to_string(low) + ".." + std::to_string(high)};
  return v;
}

void expectCount(const std::vector<std::string>& w, size_t from, size_t count, const char* usage) {
  if (w.size() - from != count) throw LineError{std::string("expected: ") + usage};
}

uint32_t buttonId(const std::string& word) {
  static const std::map<std::string, uint32_t> names = {
      {"system", vr::k_EButton_System},       {"menu", vr::k_EButton_ApplicationMenu},
      {"grip", vr::k_EButton_Grip},           {"a", vr::k_EButton_A},
      {"pad", vr::k_EButton_SteamVR_Touchpad}, {"touchpad", vr::k_EButton_SteamVR_Touchpad},
      {"trigger", vr::k_EButton_SteamVR_Trigger},
  };
  auto it = names.find(word);
  if (it != names.end()) return it->second;
  if (!word.empty() && std::isdigit(static_cast<unsigned char>(word[0])))
    return uint32_t(toInteger(word, 0, vr::k_EButton_Max - 1));
  throw LineError{"unknown button '" + word + "' (menu, grip, a, pad, trigger, system or 0..63)"};
}

int axisType(const std::string& word) {
  if (word == "none") return vr::k_eControllerAxis_None;
  if (word == "trackpad" || word == "pad") return vr::k_eControllerAxis_TrackPad;
  if (word == "joystick" || word == "stick") return vr::k_eControllerAxis_Joystick;
  if (word == "trigger") return vr::k_eControllerAxis_Trigger;
  return int(toInteger(word, 0, 255));
}

vr::ETrackedControllerRole role(const std::string& word) {
  if (word == "left") return vr::TrackedControllerRole_LeftHand;
  if (word == "right") return vr::TrackedControllerRole_RightHand;
  if (word == "none") return vr::TrackedControllerRole_Invalid;
  throw LineError{"unknown role '" + word + "' (left, right or none)"};
}

bool onOff(const std::string& word) {
  if (word == "on") return true;
  if (word == "off") return false;
  throw LineError{"expected on or off, not '" + word + "'"};
}

// "times N" or nothing after position i; -1 means for every call.
int timesClause(const std::vector<std::string>& w, size_t i) {
  if (i == w.size()) return -1;
  if (w.size() - i == 2 && w[i] == "times") return int(toInteger(w[i + 1], 1, 1000000000));
  throw LineError{"expected nothing or 'times N' after the code"};
}

std::string deviceName(const std::string& word) {
  if (word == "head") return "hmd";
  return word;
}

SimWorld::Action deviceAction(const std::string& device, const std::vector<std::string>& w) {
  if (w.size() < 2) throw LineError{"missing what to do with " + w[0]};
  const std::string& verb = w[1];
  const bool controller = device != "hmd";

  if (verb == "position") {
    expectCount(w, 2, 3, "position X Y Z");
    const double x = toReal(w[2]), y = toReal(w[3]), z = toReal(w[4]);
    return [=](SimWorld& s) { s.setPosition(s.device(device), x, y, z); };
  }
  if (verb == "rotation") {
    expectCount(w, 2, 3, "rotation YAW PITCH ROLL (degrees)");
    const double yaw = toReal(w[2]), pitch = toReal(w[3]), roll = toReal(w[4]);
    return [=](SimWorld& s) { s.setRotation(s.device(device), yaw, pitch, roll); };
  }
  if (verb == "pose") {
    expectCount(w, 2, 12, "pose with 12 numbers (3x4 matrix, row by row)");
    double m[3][4];
    for (int i = 0; i < 12; ++i) m[i / 4][i % 4] = toReal(w[2 + i]);
    std::vector<double> flat(&m[0][0], &m[0][0] + 12);
    return [=](SimWorld& s) {
      double p[3][4];
      for (int i = 0; i < 12; ++i) p[i / 4][i % 4] = flat[i];
      s.setPose(s.device(device), p);
    };
  }
  if (verb == "index") {
    expectCount(w, 2, 1, "index N or index none");
    const vr::TrackedDeviceIndex_t index =
        w[2] == "none" ? vr::k_unTrackedDeviceIndexInvalid : uint32_t(toInteger(w[2], 0, 63));
    return [=](SimWorld& s) { s.setIndex(s.device(device), index); };
  }
  if (verb == "connect" || verb == "disconnect") {
    expectCount(w, 2, 0, verb.c_str());
    const bool on = verb == "connect";
    return [=](SimWorld& s) { s.setConnected(s.device(device), on); };
  }
  if (verb == "tracking") {
    expectCount(w, 2, 1, "tracking on|off");
    const bool on = onOff(w[2]);
    return [=](SimWorld& s) { s.setTracking(s.device(device), on); };
  }
  if (verb == "property") {
    if (w.size() != 4) throw LineError{"expected: property NUMBER VALUE (quote a value with blanks)"};
    const int property = int(toInteger(w[2], 1, 0x7fffffff));
    const std::string value = w[3];
    switch (propertyType(property)) {
      case PropertyType::Bool:
        if (value != "true" && value != "false") throw LineError{"property " + w[2] + " wants true or false"};
        break;
      case PropertyType::Float:
        toReal(value);
        break;
      case PropertyType::Int32:
        toInteger(value, INT32_MIN, INT32_MAX);
        break;
      case PropertyType::Uint64:
        toInteger(value, 0, INT64_MAX);
        break;
      case PropertyType::String:
        if (value.size() + 1 > vr::k_unMaxPropertyStringSize) throw LineError{"value too long"};
        break;
    }
    return [=](SimWorld& s) { s.setProperty(s.device(device), property, value); };
  }
  if (verb == "render-model") {
    expectCount(w, 2, 1, "render-model NAME");
    const std::string value = w[2];
    return [=](SimWorld& s) { s.setProperty(s.device(device), vr::Prop_RenderModelName_String, value); };
  }

  if (!controller) throw LineError{"unknown command '" + verb + "' for the headset"};

  if (verb == "press" || verb == "release" || verb == "tap") {
    if (w.size() < 3) throw LineError{"expected: " + verb + " BUTTON..."};
    std::vector<uint32_t> buttons;
    for (size_t i = 2; i < w.size(); ++i) buttons.push_back(buttonId(w[i]));
    return [=](SimWorld& s) {
      SimDevice& d = s.device(device);
      for (uint32_t b : buttons) {
        if (verb != "release") s.press(d, b);
        if (verb != "press") s.release(d, b);
      }
    };
  }
  if (verb == "axis") {
    expectCount(w, 2, 3, "axis K X Y");
    const int axis = int(toInteger(w[2], 0, vr::k_unControllerStateAxisCount - 1));
    const float x = float(toReal(w[3])), y = float(toReal(w[4]));
    return [=](SimWorld& s) { s.setAxis(s.device(device), axis, x, y); };
  }
  if (verb == "axis-type") {
    expectCount(w, 2, 2, "axis-type K none|trackpad|joystick|trigger");
    const int axis = int(toInteger(w[2], 0, vr::k_unControllerStateAxisCount - 1));
    const int type = axisType(w[3]);
    return [=](SimWorld& s) { s.setAxisType(s.device(device), axis, type); };
  }
  if (verb == "role") {
    expectCount(w, 2, 1, "role left|right|none");
    const vr::ETrackedControllerRole r = role(w[2]);
    return [=](SimWorld& s) { s.setRole(s.device(device), r); };
  }
  if (verb == "type") {
    expectCount(w, 2, 1, "type NAME");
    const std::string value = w[2];
    return [=](SimWorld& s) { s.setProperty(s.device(device), vr::Prop_ControllerType_String, value); };
  }
  throw LineError{"unknown command '" + verb + "' for a controller"};
}

SimWorld::Action failAction(const std::vector<std::string>& w) {
  if (w.size() < 3) throw LineError{"expected: fail init|submit|interface|render-model|texture ..."};
  const std::string& what = w[1];
  if (what == "init") {
    const int code = int(toInteger(w[2], 0, 0x7fffffff));
    const int times = timesClause(w, 3);
    return [=](SimWorld& s) { s.initFailure = InjectedFailure{code, times}; };
  }
  if (what == "interface") {
    expectCount(w, 2, 1, "fail interface VERSION");
    const std::string version = w[2];
    return [=](SimWorld& s) { s.missingInterfaces.push_back(version); };
  }
  if (what == "submit") {
    const int code = int(toInteger(w[2], 0, 0x7fffffff));
    size_t i = 3;
    int eyes = 3;  // bit 0 left, bit 1 right
    if (i < w.size() && (w[i] == "left" || w[i] == "right")) {
      eyes = w[i] == "left" ? 1 : 2;
      ++i;
    }
    const int times = timesClause(w, i);
    return [=](SimWorld& s) {
      for (int eye = 0; eye < 2; ++eye)
        if (eyes & (1 << eye)) s.submitFailure[eye] = InjectedFailure{code, times};
    };
  }
  if (what == "render-model") {
    if (w.size() < 4) throw LineError{"expected: fail render-model NAME CODE [times N]"};
    const std::string name = w[2];
    const int code = int(toInteger(w[3], 0, 0x7fffffff));
    const int times = timesClause(w, 4);
    return [=](SimWorld& s) { s.modelAnswers[name].failure = InjectedFailure{code, times}; };
  }
  if (what == "texture") {
    const int code = int(toInteger(w[2], 0, 0x7fffffff));
    const int times = timesClause(w, 3);
    return [=](SimWorld& s) { s.textureAnswers.failure = InjectedFailure{code, times}; };
  }
  throw LineError{"unknown failure '" + what + "' (init, submit, interface, render-model, texture)"};
}

SimWorld::Action globalAction(const std::vector<std::string>& w) {
  const std::string& verb = w[0];
  if (verb == "rate") {
    expectCount(w, 1, 1, "rate HZ (0: no pacing)");
    const double rate = toReal(w[1]);
    // A wait lasts at most one display period, so very slow rates are refused.
    if (rate != 0 && (rate < 1 || rate > 1000)) throw LineError{"rate must be 0 or lie in 1..1000"};
    return [=](SimWorld& s) { s.rate = rate; };
  }
  if (verb == "clock") {
    expectCount(w, 1, 1, "clock scripted");
    if (w[1] != "scripted") throw LineError{"expected: clock scripted"};
    return [](SimWorld& s) { s.scriptedClock = true; };
  }
  if (verb == "render-size") {
    expectCount(w, 1, 2, "render-size WIDTH HEIGHT");
    const uint32_t width = uint32_t(toInteger(w[1], 1, 16384));
    const uint32_t height = uint32_t(toInteger(w[2], 1, 16384));
    return [=](SimWorld& s) {
      s.renderWidth = width;
      s.renderHeight = height;
    };
  }
  if (verb == "ipd") {
    expectCount(w, 1, 1, "ipd METRES");
    const double ipd = toReal(w[1]);
    if (ipd < 0 || ipd > 0.2) throw LineError{"ipd must lie in 0..0.2 metres"};
    return [=](SimWorld& s) { s.ipd = ipd; };
  }
  if (verb == "focus") {
    expectCount(w, 1, 1, "focus captured|released");
    if (w[1] != "captured" && w[1] != "released") throw LineError{"expected captured or released"};
    const bool captured = w[1] == "captured";
    return [=](SimWorld& s) { s.setFocusCaptured(captured); };
  }
  if (verb == "time") {
    expectCount(w, 1, 1, "time SECONDS or time +SECONDS");
    // "+S": the frame begins S seconds later; "T": not before T seconds on the runtime's clock.
    const bool advance = !w[1].empty() && w[1][0] == '+';
    const double seconds = toReal(advance ? w[1].substr(1) : w[1]);
    if (seconds < 0 || seconds > 60) throw LineError{"time must lie in 0..60 seconds"};
    if (advance) return [=](SimWorld& s) { s.pendingDelay += seconds; };
    return [=](SimWorld& s) { s.pendingDelay = std::max(s.pendingDelay, seconds - s.now()); };
  }
  if (verb == "wait-file") {
    expectCount(w, 1, 1, "wait-file PATH");
    const std::string path = w[1];
    if (path.empty()) throw LineError{"wait-file needs a file name"};
    return [=](SimWorld& s) { s.pendingFile = path; };
  }
  if (verb == "fail") return failAction(w);
  if (verb == "loading") {
    if (w.size() == 4 && w[1] == "render-model") {
      const std::string name = w[2];
      const int n = int(toInteger(w[3], 0, 1000000000));
      return [=](SimWorld& s) { s.modelAnswers[name].loadingAnswers = n; };
    }
    if (w.size() == 3 && w[1] == "texture") {
      const int n = int(toInteger(w[2], 0, 1000000000));
      return [=](SimWorld& s) { s.textureAnswers.loadingAnswers = n; };
    }
    throw LineError{"expected: loading render-model NAME N, or loading texture N"};
  }
  if (verb == "broken-model") {
    expectCount(w, 1, 1, "broken-model NAME");
    const std::string name = w[1];
    return [=](SimWorld& s) { s.brokenModels.push_back(name); };
  }
  if (verb == "untextured-model") {
    expectCount(w, 1, 1, "untextured-model NAME");
    const std::string name = w[1];
    return [=](SimWorld& s) { s.untexturedModels.push_back(name); };
  }
  throw LineError{"unknown command '" + verb + "'"};
}

}  // namespace

bool ScriptParser::tokenize(const std::string& line, std::vector<std::string>& words,
                            std::string& error) {
  words.clear();
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '#') {
      break;
    } else if (c == '"') {
      std::string word;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
          word += line[i + 1];
          i += 2;
        } else if (line[i] == '"') {
          closed = true;
          ++i;
          break;
        } else {
          word += line[i++];
        }
      }
      if (!closed) {
        error = "a quoted text is not closed";
        return false;
      }
      words.push_back(word);
    } else {
      size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '#')
        ++i;
      words.push_back(line.substr(start, i - start));
    }
  }
  return true;
}

ScriptParser::Timeline ScriptParser::parse(const std::string& text, const std::string& sourceName,
                                           std::vector<std::string>& errors) {
  Timeline timeline;
  std::istringstream in(text);
  std::string line;
  int lineNumber = 0;
  uint64_t frame = 0;
  std::vector<std::string> words;
  while (std::getline(in, line)) {
    ++lineNumber;
    std::string tokenError;
    try {
      if (!tokenize(line, words, tokenError)) throw LineError{tokenError};
      if (words.empty()) continue;
      if (words[0] == "frame") {
        expectCount(words, 1, 1, "frame N");
        const uint64_t next = uint64_t(toInteger(words[1], 0, INT64_MAX));
        if (next < frame)
          throw LineError{"frame " + words[1] + " comes after frame " + std::to_string(frame) +
                          "; frames must not go back"};
        frame = next;
        continue;
      }
      const std::string device = deviceName(words[0]);
      if (device == "hmd" || device == "left" || device == "right")
        timeline.emplace(frame, deviceAction(device, words));
      else
        timeline.emplace(frame, globalAction(words));
    } catch (const LineError& e) {
      errors.push_back(sourceName + ":" + std::to_string(lineNumber) + ": " + e.message);
    }
  }
  return timeline;
}

}  // namespace vrsim
