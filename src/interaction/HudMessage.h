#pragma once
// A few lines of text on a dark plate, floating just below the middle of the user's view for a
// while: how the headset user learns why the program could not do what was asked (a part command
// the server refused). One per interaction state, on its widget layer. Built at the scene's VR
// start-up (back-buffer updater thread); shown, placed, timed out and copied at the buffer swap
// by the thread that drives its interaction state (the render thread).
#include <chrono>
#include <string>

class OpenVRActor;
class vtkPolyDataMapper;
class vtkRenderer;

class HudMessage {
 public:
  // A message stays up at least this long and at least this many frames (a slow frame rate
  // must not let it pass unseen).
  static constexpr double SHOWN_SECONDS = 6.0;
  static constexpr int SHOWN_FRAMES = 240;

  HudMessage();
  ~HudMessage();
  HudMessage(const HudMessage&) = delete;
  HudMessage& operator=(const HudMessage&) = delete;

  // Adds the hidden plate and text to the renderer.
  void build(vtkRenderer* renderer);
  // Shows the text from now on, in place of any earlier message. Long text is wrapped at word
  // boundaries; what does not fit in the last line ends in "...".
  void show(const std::string& text);
  // Per frame: places a shown message at the head pose, or hides it once it has been up long
  // enough.
  void update(const double headPose[16]);
  // The buffer copy: the other's message, and how long it has been up.
  void copyFrom(const HudMessage& other);

  const std::string& text() const { return _text; }
  bool isShown() const { return _shown; }
  // The lines the text is shown in.
  static std::string wrap(const std::string& text);

 private:
  void rebuild();

  OpenVRActor* _plate;
  OpenVRActor* _letters;
  vtkPolyDataMapper* _plateMapper;
  vtkPolyDataMapper* _lettersMapper;
  std::string _text;
  bool _shown = false;
  std::chrono::steady_clock::time_point _since;
  int _frames = 0;
  double _width = 0.0, _height = 0.0;  // of the plate, metres
};
