#pragma once
// The tools carried by one hand controller and drawn on it: four touch-pad labels (post-its,
// one per pad side, each showing a page), the palette panel drawn by its painter, the
// quick-start panel, three tool icons, the laser-spot panel, two lasers and the colour bar.
// Two per interaction state (index = hand), two more per remote participant's avatar. The
// interaction code decides what is shown; the tool set builds the pieces (init), lays them out
// from the configuration when it changed, places the visible ones each frame (update) and
// forwards show/hide, page and colour requests to them.
//
// Used by the one thread that drives its interaction state (render thread per frame,
// back-buffer updater at scene set-up); no lock.
#include <array>
#include <cstdint>
#include <vector>

#include <vtkSmartPointer.h>

#include "AnnotationLayoutSettings.h"
#include "ButtonStateTable.h"
#include "Cylinder.h"
#include "ToolLayoutSettings.h"
#include "VirtualColorBar.h"
#include "VirtualPostIt.h"
#include "kvg/Ptr.h"

class IconTextureCache;
class OpenVRTexture;
class vtkObject;
class vtkRenderer;
class vtkWindow;
struct ControllerInput;
namespace kvg {
class PalettePainter;
}

class ToolSet {
 public:
  static constexpr int ToolIconCount = 3;
  static constexpr int ToolIconPageCount = 8;

  // Nothing visible and nothing in a renderer until init.
  ToolSet();
  ~ToolSet();
  ToolSet(const ToolSet&) = delete;
  ToolSet& operator=(const ToolSet&) = delete;

  // Success flags of the tool combinations (rows: icon direction, columns: icon state).
  ButtonStateTable toolStatus;

  // Scene set-up: builds every piece into the renderer with its pages (quick-start pages
  // "QuickStart<k>.png" up to the first missing one, the hand's labels with their "Undefined"
  // fallback and the fly-mode pages, the palette images of the cache, the icons, the laser
  // spot), then hides all. A second init first takes the previous pieces out of the renderer
  // they were built into. A null renderer or cache builds without drawing or textures. While
  // the cache's palette is pending, the palette gets empty pages until attachPaletteImages.
  void init(vtkRenderer* renderer, int hand, IconTextureCache* cache);
  // The cache's palette images for the palette panel and its painter, once the cache no longer
  // has them pending and this set has not taken them yet; the page and visibility stay. True
  // when they were taken now. The thread working on the owning interaction state.
  bool attachPaletteImages(IconTextureCache* cache);
  // Render thread, per frame: lays the pieces out when the layout records changed, then places
  // each visible piece at the controller (user matrix world x controller pose x its placement).
  void update(const double modelMatrix[16], const double headView[16], const ControllerInput& input, int hand,
              const AnnotationLayoutSettings& annotations, const ToolLayoutSettings& tools);
  // True when the labels / icons, colour bar or palette were laid out anew.
  bool layoutAnnotations(int hand, const AnnotationLayoutSettings& annotations);
  bool layoutTools(int hand, const ToolLayoutSettings& tools);
  void removeFromRenderer(vtkRenderer* renderer);
  // Render thread, the window's context current: the pieces' GL resources.
  void releaseGraphicsResources(vtkWindow* window);

  // Display state of another tool set: flags, the first laser, panels and labels (not the
  // colour bar, the second laser, the painter state or the layout caches).
  void copyFrom(const ToolSet& source, int = 0, int = 0);
  // Exchanges the four labels with the other tool set's.
  void swapPostIts(ToolSet& other);
  // Start-of-scene look: everything hidden but tool icon 0, pages 0, labels "Undefined",
  // no quick-start page.
  void reset();
  // Everything shown, each page min(page count - 1, level); a label with fewer pages than the
  // level shows its last page.
  void showAll(int level);
  void setAllVisible(bool visible);

  // Touch-pad labels, slot = pad side 0 West, 1 South, 2 East, 3 North.
  void setPostItsVisible(bool visible);
  bool arePostItsVisible() const;
  void setPostItColor(int icon, const double rgb[3]);
  const double* postItColor(int icon) const;
  // A page in 0 .. count-1 is taken; anything else changes nothing.
  void selectPostItPage(int icon, int page);
  int postItPage(int icon) const;
  int postItPageCount(int icon) const;
  // The slot's label, null when the slot is empty.
  VirtualPostIt* postIt(int slot) const;

  // Tool icons 0..2 (pages: 0 none, 1 zoom in, 2 zoom out, 3 forward, 4 backward, 5 clip,
  // 6 plane section, 7 seed).
  void setToolIconState(int icon, bool visible, int page);
  // Icon i visible iff bit i of the mask, each on the page; bit 3 shows the colour bar.
  void setToolIconsVisible(int mask, int page);
  int toolIconVisibilityMask() const;
  int toolIconPage(int icon) const;
  bool isToolIconVisible(int icon) const;
  void toolIcon1Normal(double normal[3]) const;
  VirtualPostIt& toolIcon(int icon) { return _toolIcons[icon]; }

  // Palette panel; its page is the toggle mask (1 HUD, 2 fly mode, 4 floor, 8 volume
  // rendering, 16 avatars present).
  // Shown only once the palette images are attached (or none were awaited, without a cache);
  // asked for earlier, it shows when they are.
  void setPalettePanelVisible(bool visible);
  bool isPalettePanelVisible() const;
  bool isPaletteReady() const;
  VirtualPostIt* palettePanel() { return &_palettePanel; }
  const VirtualPostIt* palettePanel() const { return &_palettePanel; }
  kvg::PalettePainter* palettePainter() const { return _palettePainter; }
  void setPalettePage(int mask);
  int palettePage() const { return _palettePanel.page(); }
  void setPaletteStateBit(int bit, bool on);
  // 0 none, 1..12 hover of buttons 1..12, 13..24 pressed.
  void setPaletteOverlay(int overlay);
  int paletteOverlay() const;
  void setPaletteColors(const double center[3], const double previous[3], const double next[3]);
  void setTeleportOverlayVisible(bool visible);
  bool isTeleportOverlayVisible() const;
  void setLinkedOverlayVisible(bool visible);
  bool isLinkedOverlayVisible() const;
  void setLinkedOverlayTexture(OpenVRTexture* texture);
  OpenVRTexture* linkedOverlayTexture() const;

  // Lasers: the pointing laser (first) and its companion disc. Each frame, before the tools
  // set the frame's laser state: default length ("defaultLaserLength"), direction from
  // "laserAngle", configured colour, both lasers, the laser spot and the laser circle hidden,
  // the laser spot turned to the palette angle.
  void resetLasers(double paletteAngle);
  void setupLasers(double paletteAngle) { resetLasers(paletteAngle); }
  void setLaserVisible(bool visible);
  bool isLaserVisible() const;
  void setLaserLength(double length);
  double laserLength() const;
  // Both lasers; normalised, a direction without length ignored.
  void setLaserDirection(const double direction[3]);
  const double* laserDirection() const { return _laser.direction(); }
  // The first laser's direction in controller coordinates.
  const double* getLaserDirection() const { return _laser.direction(); }
  void setLaserColor(const double rgb[3]);
  const double* laserColor() const { return _laser.getColor(); }
  void setLaser2Visible(bool visible);
  void setLaser2Offset(double offset);
  Cylinder& laser() { return _laser; }
  Cylinder& laser2() { return _laser2; }

  // Laser spot: visibility, position added to the controller position, plane normal, the
  // normal turned onto a direction, colour.
  void setLaserSpotVisible(bool visible);
  bool isLaserSpotVisible() const;
  void setLaserSpotPosition(const double position[3]);
  void laserSpotPosition(double out[3]) const;
  void laserSpotNormal(double out[3]) const;
  void alignLaserSpot(const double direction[3]);
  void setLaserSpotColor(const double rgb[3]);

  // The laser circle drawn on this hand's palette (palette units, front or back face).
  void setLaserCirclePos(double u, double v);
  const double* laserCirclePos() const;
  void setLaserCircleVisible(bool visible);
  bool isLaserCircleVisible() const;
  void setLaserCircleOnFront(bool onFront);

  // Colour bar.
  void setColorBarVisible(bool visible);
  bool isColorBarVisible() const;
  // Taken only when the object or its modification time changed; null clears the bar (turns
  // its colouring off) and forgets the source, so the same table later colours it again.
  void setColorBarSource(vtkObject* source);
  vtkObject* colorBarSource() const { return _colorBarSource; }
  void setColorBarOffset(const double offset[3]);
  void setColorBarValues(double a, double b, double c);
  // The one rule by which the colour bar slides, at its owner and as others see it: along its
  // length (the controller's x axis, pose R) by (0.5 - t) x barWidth, so that the colour of the
  // fraction t of the bar stands at the controller.
  void slideColorBar(const double pose[16], double t, double barWidth);
  VirtualColorBar& colorBar() { return _colorBar; }

  // Quick-start panel.
  void setQuickStartVisible(bool visible);
  bool isQuickStartVisible() const;
  // 0 <= page < count selects it, anything else selects none (-1).
  void selectQuickStartPage(int page);
  int quickStartPage() const { return _quickStartPanel.page() >= 0 ? _quickStartPanel.page() : -1; }
  int quickStartPageCount() const { return _quickStartPanel.pageCount(); }

 private:
  std::array<kvg::Ptr<VirtualPostIt>, 4> _postIts;
  VirtualPostIt _palettePanel;
  VirtualPostIt _quickStartPanel;
  std::array<VirtualPostIt, ToolIconCount> _toolIcons;
  VirtualColorBar _colorBar;
  Cylinder _laser;
  Cylinder _laser2;
  VirtualPostIt _laserSpot;
  ToolLayoutSettings _toolLayoutCache;
  AnnotationLayoutSettings _annotationLayoutCache;
  vtkObject* _colorBarSource = nullptr;  // not owned; compared by identity
  uint64_t _colorBarSourceTime = 0;
  kvg::PalettePainter* _palettePainter;
  vtkRenderer* _renderer = nullptr;  // where init put the pieces
  bool _built = false;
  bool _paletteAttached = false;  // the palette panel wraps the cache's images
  bool _paletteAwaited = false;   // set up with a cache: its images are to come
  bool _paletteWanted = false;    // the palette asked for, shown or not
};

// "paletteAngle", default 40.
double GetPaletteAngle();
// "laserColorRGB", default (0.0, 0.37255, 1.0).
void GetLaserColorRGB(double rgb[3]);
