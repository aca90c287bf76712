#include "ToolSet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include <vtkObject.h>

#include "Configuration.h"
#include "ControllerInput.h"
#include "IconTextureCache.h"
#include "OpenVRTexture.h"

namespace {

bool fileExists(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

// Number of pages of a label slot: the six direction images of the hand and slot, a missing
// one replaced by its "Undefined" image or left out, plus the fly-mode image of North and South.
int countLabelPages(const std::string& assets, int hand, int slot) {
  int count = 0;
  const std::string prefix = assets + handName(hand) + directionName(slot);
  for (int page = 0; page <= DirectionAlt; ++page) {
    if (fileExists(prefix + directionName(page) + ".png") || fileExists(prefix + directionName(DirectionNone) + ".png"))
      ++count;
  }
  if (slot == DirectionNorth && fileExists(assets + "Flymode_forward.png")) ++count;
  if (slot == DirectionSouth && fileExists(assets + "Flymode_backward.png")) ++count;
  return count;
}

int clampPage(int pageCount, int level) { return std::max(0, std::min(pageCount - 1, level)); }

void copyRgb(const double in[3], double out[3]) {
  out[0] = in[0];
  out[1] = in[1];
  out[2] = in[2];
}

}  // namespace

double GetPaletteAngle() { return GetConfigReal("paletteAngle", 40.0); }

void GetLaserColorRGB(double rgb[3]) {
  const std::array<double, 3> c = GetConfigVector3("laserColorRGB", {0.0, 0.37255, 1.0});
  rgb[0] = c[0];
  rgb[1] = c[1];
  rgb[2] = c[2];
}

ToolSet::ToolSet() {
  _quickStart.page = -1;
  _toolLayoutCache.clear();
  _annotationLayoutCache.clear();
}

ToolSet::~ToolSet() = default;

void ToolSet::init(vtkRenderer* renderer, int hand, IconTextureCache* cache) {
  _colorBarSource = nullptr;
  _colorBarSourceTime = 0;
  const std::string assets = getVRAssetsDir();

  int pages = 0;
  while (fileExists(assets + "QuickStart" + std::to_string(pages) + ".png")) ++pages;
  _quickStart.pageCount = pages;
  _quickStart.page = -1;

  for (int slot = DirectionNorth; slot >= DirectionWest; --slot) {
    _postIts[slot].filled = true;
    _postIts[slot].panel.pageCount = countLabelPages(assets, hand, slot);
  }
  _palettePageCount = cache ? static_cast<int>(cache->paletteImageCountA()) : 0;
  for (Panel& icon : _toolIcons) icon.pageCount = ToolIconPageCount;
  GetLaserColorRGB(_laserColor);
  _laserLength = GetConfigReal("defaultLaserLength", 10.0);
  setAllVisible(false);
}

void ToolSet::update(const double modelMatrix[16], const double headView[16], const ControllerInput& input, int hand,
                     const AnnotationLayoutSettings& annotations, const ToolLayoutSettings& tools) {
  layoutAnnotations(hand, annotations);
  layoutTools(hand, tools);
}

bool ToolSet::layoutAnnotations(int hand, const AnnotationLayoutSettings& annotations) {
  if (annotations == _annotationLayoutCache) return false;
  _annotationLayoutCache = annotations;
  return true;
}

bool ToolSet::layoutTools(int hand, const ToolLayoutSettings& tools) {
  if (tools == _toolLayoutCache) return false;
  _toolLayoutCache = tools;
  return true;
}

void ToolSet::copyFrom(const ToolSet& source, int, int) {
  if (&source == this) return;
  toolStatus = source.toolStatus;
  _laserVisible = source._laserVisible;
  _laserLength = source._laserLength;
  copyRgb(source._laserDirection, _laserDirection);
  copyRgb(source._laserColor, _laserColor);
  _paletteVisible = source._paletteVisible;
  _palettePage = source._palettePage;
  _quickStart.visible = source._quickStart.visible;
  _quickStart.page = source._quickStart.page;
  for (int i = 0; i < ToolIconCount; ++i) {
    _toolIcons[i].visible = source._toolIcons[i].visible;
    _toolIcons[i].page = source._toolIcons[i].page;
    copyRgb(source._toolIcons[i].color, _toolIcons[i].color);
  }
  _laserSpotVisible = source._laserSpotVisible;
  _laserSpotAngle = source._laserSpotAngle;
  for (int slot = DirectionNorth; slot >= DirectionWest; --slot) {
    if (!_postIts[slot].filled || !source._postIts[slot].filled) continue;
    Panel& to = _postIts[slot].panel;
    const Panel& from = source._postIts[slot].panel;
    to.visible = from.visible;
    to.page = from.page;
    copyRgb(from.color, to.color);
  }
}

void ToolSet::swapPostIts(ToolSet& other) {
  for (int slot = DirectionNorth; slot >= DirectionWest; --slot) std::swap(_postIts[slot], other._postIts[slot]);
}

void ToolSet::reset() {
  setAllVisible(false);
  _toolIcons[0].visible = true;
  setPalettePage(0);
  for (Panel& icon : _toolIcons) icon.page = 0;
  for (int slot = DirectionNorth; slot >= DirectionWest; --slot)
    if (_postIts[slot].filled && _postIts[slot].panel.pageCount > DirectionNone)
      _postIts[slot].panel.page = DirectionNone;
  selectQuickStartPage(-1);
}

void ToolSet::showAll(int level) {
  setAllVisible(true);
  _palettePage = clampPage(_palettePageCount, level);
  _quickStart.page = _quickStart.pageCount > 0 ? clampPage(_quickStart.pageCount, level) : -1;
  for (Panel& icon : _toolIcons) icon.page = clampPage(icon.pageCount, level);
  for (int slot = DirectionNorth; slot >= DirectionWest; --slot)
    if (_postIts[slot].filled && level < _postIts[slot].panel.pageCount) _postIts[slot].panel.page = level;
}

void ToolSet::setAllVisible(bool visible) {
  for (Panel& icon : _toolIcons) icon.visible = visible;
  _paletteVisible = visible;
  _teleportOverlayVisible = visible;
  _linkedOverlayVisible = visible;
  setPostItsVisible(visible);
  _colorBarVisible = visible;
  _laserVisible = visible;
  _laser2Visible = visible;
  _laserSpotVisible = visible;
  _quickStart.visible = visible;
}

void ToolSet::setPostItsVisible(bool visible) {
  for (PostIt& p : _postIts)
    if (p.filled) p.panel.visible = visible;
}

bool ToolSet::arePostItsVisible() const {
  for (const PostIt& p : _postIts)
    if (p.filled && p.panel.visible) return true;
  return false;
}

void ToolSet::setPostItColor(int icon, const double rgb[3]) {
  if (icon < 0 || icon > 3 || !_postIts[icon].filled) return;
  copyRgb(rgb, _postIts[icon].panel.color);
}

const double* ToolSet::postItColor(int icon) const {
  static const double none[3] = {1.0, 1.0, 1.0};
  if (icon < 0 || icon > 3 || !_postIts[icon].filled) return none;
  return _postIts[icon].panel.color;
}

void ToolSet::selectPostItPage(int icon, int page) {
  if (icon < 0 || icon > 3 || !_postIts[icon].filled) return;
  Panel& panel = _postIts[icon].panel;
  if (page >= 0 && page < panel.pageCount) panel.page = page;
}

int ToolSet::postItPage(int icon) const {
  if (icon < 0 || icon > 3 || !_postIts[icon].filled) return 0;
  return _postIts[icon].panel.page;
}

int ToolSet::postItPageCount(int icon) const {
  if (icon < 0 || icon > 3 || !_postIts[icon].filled) return 0;
  return _postIts[icon].panel.pageCount;
}

void ToolSet::setToolIconState(int icon, bool visible, int page) {
  if (icon < 0 || icon >= ToolIconCount) return;
  _toolIcons[icon].visible = visible;
  _toolIcons[icon].page = page;
}

int ToolSet::toolIconPage(int icon) const { return icon >= 0 && icon < ToolIconCount ? _toolIcons[icon].page : 0; }

bool ToolSet::isToolIconVisible(int icon) const {
  return icon >= 0 && icon < ToolIconCount && _toolIcons[icon].visible;
}

void ToolSet::setPalettePanelVisible(bool visible) { _paletteVisible = visible; }
bool ToolSet::isPalettePanelVisible() const { return _paletteVisible; }
void ToolSet::setPalettePage(int mask) { _palettePage = mask; }

void ToolSet::setPaletteStateBit(int bit, bool on) { setPalettePage(on ? (_palettePage | bit) : (_palettePage & ~bit)); }

void ToolSet::setPaletteOverlay(int overlay) { _paletteOverlay = overlay; }

void ToolSet::setPaletteColors(const double center[3], const double previous[3], const double next[3]) {
  copyRgb(center, _paletteColors[0]);
  copyRgb(previous, _paletteColors[1]);
  copyRgb(next, _paletteColors[2]);
}

void ToolSet::setTeleportOverlayVisible(bool visible) { _teleportOverlayVisible = visible; }
void ToolSet::setLinkedOverlayVisible(bool visible) { _linkedOverlayVisible = visible; }
void ToolSet::setLinkedOverlayTexture(OpenVRTexture* texture) { _linkedOverlayTexture = texture; }
OpenVRTexture* ToolSet::linkedOverlayTexture() const { return _linkedOverlayTexture; }

void ToolSet::setupLasers(double paletteAngle) {
  const double a = GetConfigReal("laserAngle", 20.0) * M_PI / 180.0;
  _laserDirection[0] = 0.0;
  _laserDirection[1] = -std::sin(a);
  _laserDirection[2] = -std::cos(a);
  _laserLength = GetConfigReal("defaultLaserLength", 10.0);
  GetLaserColorRGB(_laserColor);
  _laserVisible = false;
  _laser2Visible = false;
  _laserSpotAngle = paletteAngle;
  _laserSpotVisible = false;
  _laserCircleVisible = false;
  _laserCirclePos[0] = _laserCirclePos[1] = 0.0;
}

void ToolSet::setLaserVisible(bool visible) { _laserVisible = visible; }
void ToolSet::setLaserLength(double length) { _laserLength = length; }
void ToolSet::setLaserColor(const double rgb[3]) { copyRgb(rgb, _laserColor); }
void ToolSet::setLaserSpotVisible(bool visible) { _laserSpotVisible = visible; }

void ToolSet::setLaserCirclePos(double u, double v) {
  _laserCirclePos[0] = u;
  _laserCirclePos[1] = v;
}

void ToolSet::setLaserCircleVisible(bool visible) { _laserCircleVisible = visible; }
void ToolSet::setLaserCircleOnFront(bool onFront) { _laserCircleOnFront = onFront; }
void ToolSet::setColorBarVisible(bool visible) { _colorBarVisible = visible; }

void ToolSet::setColorBarSource(vtkObject* source) {
  if (!source) {
    _colorBarSourceTime = 0;
    return;
  }
  if (source == _colorBarSource && source->GetMTime() == _colorBarSourceTime) return;
  _colorBarSourceTime = source->GetMTime();
  _colorBarSource = source;
}

void ToolSet::setColorBarValues(double a, double b, double c) {
  _colorBarValues[0] = a;
  _colorBarValues[1] = b;
  _colorBarValues[2] = c;
}

void ToolSet::setQuickStartVisible(bool visible) { _quickStart.visible = visible; }

void ToolSet::selectQuickStartPage(int page) {
  _quickStart.page = (page >= 0 && page < _quickStart.pageCount) ? page : -1;
}
