#pragma once
// VTK's message window for the program: each error or warning becomes one line, written to the
// message log file and to the standard error stream, once per source line and object. VTK's own
// form (the source file, the object, its whole state, in colour) repeats every frame while a
// pipeline keeps failing, and buries everything else.
#include <mutex>
#include <set>
#include <string>

#include <vtkFileOutputWindow.h>

class VROutputWindow : public vtkFileOutputWindow {
 public:
  static VROutputWindow* New();
  vtkTypeMacro(VROutputWindow, vtkFileOutputWindow);

  // Any thread (VTK reports from whichever thread runs the failing code).
  void DisplayErrorText(const char* text) override;
  void DisplayWarningText(const char* text) override;
  void DisplayGenericWarningText(const char* text) override;

  // The one-line form of a VTK message ("ClassName (0x...): first line of the message"), and the
  // key under which it is said only once (source line and object).
  static std::string condense(const std::string& text, std::string* key = nullptr);

 protected:
  VROutputWindow();
  ~VROutputWindow() override = default;

 private:
  void say(const char* kind, const char* text);
  std::mutex _mutex;  // guards _said; taken by any reporting thread
  std::set<std::string> _said;

  VROutputWindow(const VROutputWindow&) = delete;
  void operator=(const VROutputWindow&) = delete;
};
