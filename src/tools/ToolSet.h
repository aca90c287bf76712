#pragma once
// The tools carried by one hand controller: four touch-pad labels (post-its, one per pad
// direction, each showing a page), the palette panel, the quick-start panel, three tool icons,
// the laser-spot panel, two lasers and the colour bar. Two per interaction state (index =
// hand). The interaction code decides what is shown; the tool set only keeps and applies it.
//
// This tool set keeps the display state of every piece (visibility, pages, colours, laser
// length and direction, palette overlay and laser circle, layout caches); the drawing of the
// panels, lasers and colour bar hangs on these states. Used by the one thread that drives its
// interaction state (render thread per frame, back-buffer updater at scene set-up); no lock.
#include <array>
#include <cstdint>

#include <vtkSmartPointer.h>

#include "AnnotationLayoutSettings.h"
#include "ButtonStateTable.h"
#include "ToolLayoutSettings.h"

class IconTextureCache;
class OpenVRTexture;
class VirtualPostIt;
class vtkObject;
class vtkRenderer;
struct ControllerInput;

class ToolSet {
 public:
  static constexpr int ToolIconCount = 3;
  static constexpr int ToolIconPageCount = 8;

  // Nothing visible, no pages until init.
  ToolSet();
  ~ToolSet();
  ToolSet(const ToolSet&) = delete;
  ToolSet& operator=(const ToolSet&) = delete;

  // Success flags of the tool combinations (rows: icon direction, columns: icon state).
  ButtonStateTable toolStatus;

  // Scene set-up: finds the pages (quick-start pages "QuickStart<k>.png" up to the first
  // missing one, the hand's label images, the palette images of the cache) and hides all.
  void init(vtkRenderer* renderer, int hand, IconTextureCache* cache);
  // Per frame: lays the pieces out when the layout records changed, places what is visible.
  void update(const double modelMatrix[16], const double headView[16], const ControllerInput& input, int hand,
              const AnnotationLayoutSettings& annotations, const ToolLayoutSettings& tools);
  // True when the labels / icons, colour bar or palette were laid out anew.
  bool layoutAnnotations(int hand, const AnnotationLayoutSettings& annotations);
  bool layoutTools(int hand, const ToolLayoutSettings& tools);

  // Display state of another tool set: flags, lasers, panels and labels (not the colour bar,
  // the second laser, the painter state or the layout caches).
  void copyFrom(const ToolSet& source, int = 0, int = 0);
  // Exchanges the four labels with the other tool set's.
  void swapPostIts(ToolSet& other);
  // Start-of-scene look: everything hidden but tool icon 0, pages 0, labels "Undefined",
  // no quick-start page.
  void reset();
  // Everything shown, each page min(page count - 1, level).
  void showAll(int level);
  void setAllVisible(bool visible);

  // Touch-pad labels, slot = pad direction 0..3.
  void setPostItsVisible(bool visible);
  bool arePostItsVisible() const;
  void setPostItColor(int icon, const double rgb[3]);
  const double* postItColor(int icon) const;
  // A page in 0 .. count-1 is taken; anything else changes nothing.
  void selectPostItPage(int icon, int page);
  int postItPage(int icon) const;
  int postItPageCount(int icon) const;

  // Tool icons 0..2 (pages: 0 none, 1 zoom in, 2 zoom out, 3 forward, 4 backward, 5 clip,
  // 6 plane section, 7 seed).
  void setToolIconState(int icon, bool visible, int page);
  int toolIconPage(int icon) const;
  bool isToolIconVisible(int icon) const;

  // Palette panel; its page is the toggle mask (1 HUD, 2 fly mode, 4 floor, 8 volume
  // rendering, 16 avatars present).
  void setPalettePanelVisible(bool visible);
  bool isPalettePanelVisible() const;
  VirtualPostIt* palettePanel() const { return _palettePanel; }
  void setPalettePage(int mask);
  int palettePage() const { return _palettePage; }
  void setPaletteStateBit(int bit, bool on);
  // 0 none, 1..12 hover of buttons 1..12, 13..24 pressed.
  void setPaletteOverlay(int overlay);
  int paletteOverlay() const { return _paletteOverlay; }
  void setPaletteColors(const double center[3], const double previous[3], const double next[3]);
  void setTeleportOverlayVisible(bool visible);
  bool isTeleportOverlayVisible() const { return _teleportOverlayVisible; }
  void setLinkedOverlayVisible(bool visible);
  bool isLinkedOverlayVisible() const { return _linkedOverlayVisible; }
  void setLinkedOverlayTexture(OpenVRTexture* texture);
  OpenVRTexture* linkedOverlayTexture() const;

  // Lasers: the pointing laser (first) and its companion. Each frame, before the tools set
  // the frame's laser state: default length ("defaultLaserLength"), direction from
  // "laserAngle", configured colour, both lasers, the laser spot and the laser circle hidden,
  // the laser spot turned to the palette angle.
  void setupLasers(double paletteAngle);
  void setLaserVisible(bool visible);
  bool isLaserVisible() const { return _laserVisible; }
  void setLaserLength(double length);
  double laserLength() const { return _laserLength; }
  void setLaserColor(const double rgb[3]);
  const double* laserColor() const { return _laserColor; }
  // The companion laser, shown while a part widget is active, starting the offset ahead.
  void setLaser2Visible(bool visible) { _laser2Visible = visible; }
  bool isLaser2Visible() const { return _laser2Visible; }
  void setLaser2Offset(double offset) { _laser2Offset = offset; }
  double laser2Offset() const { return _laser2Offset; }
  // The first laser's direction in controller coordinates.
  const double* getLaserDirection() const { return _laserDirection; }
  void setLaserSpotVisible(bool visible);
  bool isLaserSpotVisible() const { return _laserSpotVisible; }
  void setLaserCirclePos(double u, double v);
  void setLaserCircleVisible(bool visible);
  bool isLaserCircleVisible() const { return _laserCircleVisible; }
  void setLaserCircleOnFront(bool onFront);

  // Colour bar.
  void setColorBarVisible(bool visible);
  bool isColorBarVisible() const { return _colorBarVisible; }
  // Taken only when the object or its modification time changed; null clears the bar.
  void setColorBarSource(vtkObject* source);
  vtkObject* colorBarSource() const { return _colorBarSource; }
  void setColorBarValues(double a, double b, double c);

  // Quick-start panel.
  void setQuickStartVisible(bool visible);
  bool isQuickStartVisible() const { return _quickStart.visible; }
  // 0 <= page < count selects it, anything else selects none (-1).
  void selectQuickStartPage(int page);
  int quickStartPage() const { return _quickStart.page; }
  int quickStartPageCount() const { return _quickStart.pageCount; }

 private:
  struct Panel {
    bool visible = false;
    int page = 0;
    int pageCount = 0;
    double color[3] = {1.0, 1.0, 1.0};
  };
  // A label slot; empty until init.
  struct PostIt {
    bool filled = false;
    Panel panel;
  };

  std::array<PostIt, 4> _postIts;
  VirtualPostIt* _palettePanel = nullptr;  // drawn panel, once the panel art exists
  bool _paletteVisible = false;
  int _palettePage = 0;
  int _palettePageCount = 0;
  int _paletteOverlay = 0;
  double _paletteColors[3][3] = {};
  bool _teleportOverlayVisible = false;
  bool _linkedOverlayVisible = false;
  vtkSmartPointer<OpenVRTexture> _linkedOverlayTexture;
  Panel _quickStart;
  std::array<Panel, ToolIconCount> _toolIcons;
  bool _colorBarVisible = false;
  double _colorBarValues[3] = {};
  bool _laserVisible = false;
  bool _laser2Visible = false;
  double _laser2Offset = 0.0;
  double _laserLength = 0.0;
  double _laserDirection[3] = {0.0, 0.0, -1.0};
  double _laserColor[3] = {0.0, 0.37255, 1.0};
  bool _laserSpotVisible = false;
  double _laserSpotAngle = 0.0;
  bool _laserCircleVisible = false;
  bool _laserCircleOnFront = false;
  double _laserCirclePos[2] = {0.0, 0.0};
  ToolLayoutSettings _toolLayoutCache;
  AnnotationLayoutSettings _annotationLayoutCache;
  vtkObject* _colorBarSource = nullptr;  // not owned; compared by identity
  uint64_t _colorBarSourceTime = 0;
};

// "paletteAngle", default 40.
double GetPaletteAngle();
// "laserColorRGB", default (0.0, 0.37255, 1.0).
void GetLaserColorRGB(double rgb[3]);
