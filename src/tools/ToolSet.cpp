#include "ToolSet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include <vtkObject.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkScalarsToColors.h>
#include <vtkTexture.h>

#include "Configuration.h"
#include "ControllerInput.h"
#include "IconTextureCache.h"
#include "OpenVRActor.h"
#include "OpenVRTexture.h"
#include "PalettePainter.h"

namespace {

bool fileExists(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

// The page files of a label slot: the six direction images of the hand and slot, a missing
// one replaced by its "Undefined" image or left out, plus the fly-mode image of North and South.
std::vector<std::string> labelPageNames(const std::string& assets, int hand, int slot) {
  std::vector<std::string> names;
  const std::string prefix = assets + handName(hand) + directionName(slot);
  for (int page = 0; page <= DirectionAlt; ++page) {
    std::string name = prefix + directionName(page) + ".png";
    if (!fileExists(name)) name = prefix + directionName(DirectionNone) + ".png";
    if (fileExists(name)) names.push_back(name);
  }
  if (slot == DirectionNorth && fileExists(assets + "Flymode_forward.png")) names.push_back(assets + "Flymode_forward.png");
  if (slot == DirectionSouth && fileExists(assets + "Flymode_backward.png"))
    names.push_back(assets + "Flymode_backward.png");
  return names;
}

// One texture per name from the cache; without a cache one empty entry per name, so that the
// pages still count.
VirtualPostIt::TextureList fetchTextures(IconTextureCache* cache, const std::vector<std::string>& names,
                                         int translucencyMode) {
  VirtualPostIt::TextureList textures;
  if (!cache) {
    textures.resize(names.size());
    return textures;
  }
  std::vector<vtkSmartPointer<OpenVRTexture>> fetched;
  cache->getTextureEx(names, fetched, translucencyMode);
  for (const auto& texture : fetched) textures.emplace_back(texture);
  return textures;
}

VirtualPostIt::TextureList asTextures(const std::vector<vtkSmartPointer<OpenVRTexture>>& list) {
  return VirtualPostIt::TextureList(list.begin(), list.end());
}

int clampPage(int pageCount, int level) { return std::min(pageCount - 1, level); }

}  // namespace

double GetPaletteAngle() { return GetConfigFinite("paletteAngle", 40.0); }

void GetLaserColorRGB(double rgb[3]) {
  const std::array<double, 3> c = GetConfigVector3("laserColorRGB", {0.0, 0.37255, 1.0});
  rgb[0] = c[0];
  rgb[1] = c[1];
  rgb[2] = c[2];
}

ToolSet::ToolSet() : _palettePainter(kvg::PalettePainter::New()) {
  _toolLayoutCache.clear();
  _annotationLayoutCache.clear();
  _quickStartPanel.setPage(-1);
}

ToolSet::~ToolSet() { _palettePainter->Delete(); }

void ToolSet::init(vtkRenderer* renderer, int hand, IconTextureCache* cache) {
  if (_built) removeFromRenderer(_renderer);
  _renderer = renderer;
  _built = true;
  _colorBarSource = nullptr;
  _colorBarSourceTime = 0;
  const std::string assets = getVRAssetsDir();

  // Quick-start pages up to the first gap, held over the controller.
  std::vector<std::string> quickStart;
  for (int k = 0;; ++k) {
    const std::string name = assets + "QuickStart" + std::to_string(k) + ".png";
    if (!fileExists(name)) break;
    quickStart.push_back(name);
  }
  {
    const double w = GetConfigReal("quickStartWidth", 0.3), h = GetConfigReal("quickStartHeight", 0.225);
    const std::array<double, 3> o = GetConfigVector3("quickStartOffsetXYZ", {0.0, 0.02, 0.02});
    const double origin[3] = {-w / 2 - o[0], o[2], -o[1]};
    const double point1[3] = {w / 2 - o[0], o[2], -o[1]};
    const double point2[3] = {-w / 2 - o[0], o[2], -o[1] - h};
    const double pivot[3] = {0.0, 0.0, 0.0};
    _quickStartPanel.build(renderer, fetchTextures(cache, quickStart, 1), point1, point2, origin, pivot);
    _quickStartPanel.setOrientation(0.0, GetConfigReal("quickStartAngle", 60.0), 0.0);
    _quickStartPanel.setTranslucencyMode(1);
    _quickStartPanel.setPage(-1);
  }

  _laser.setupDefault(renderer);
  _laser2.setup(renderer, 0.001, 0.01);

  for (int slot = DirectionNorth; slot >= DirectionWest; --slot) _postIts[slot] = VirtualPostIt::create();
  for (int slot = DirectionNorth; slot >= DirectionWest; --slot) {
    _postIts[slot]->build(renderer, fetchTextures(cache, labelPageNames(assets, hand, slot), 0));
    _postIts[slot]->setTranslucencyMode(0);
  }
  setPostItsVisible(false);

  _paletteAttached = false;
  _paletteAwaited = cache != nullptr;
  _paletteWanted = false;
  _palettePainter->SetTeleportOverlayTexture(nullptr);
  _palettePainter->SetOverlayTextures(VirtualPostIt::TextureList());
  // One empty page per toggle mask, so that the pages still count; the cache's images replace
  // them now or, while the cache builds them, later.
  _palettePanel.build(renderer, VirtualPostIt::TextureList(32), _palettePainter);
  attachPaletteImages(cache);
  _palettePanel.setTranslucencyMode(1);

  {
    const double r = GetConfigReal("laserCircleRadius", 0.01);
    const double origin[3] = {-r, 0.0, r}, point1[3] = {r, 0.0, r}, point2[3] = {-r, 0.0, -r};
    const double pivot[3] = {0.0, 0.0, 0.0};
    _laserSpot.build(renderer, fetchTextures(cache, {assets + "laser2.png"}, 1), point1, point2, origin, pivot);
    _laserSpot.setOrientation(0.0, GetPaletteAngle(), 0.0);
    _laserSpot.setTranslucencyMode(1);
    double color[3];
    GetLaserColorRGB(color);
    _laserSpot.setColor(color);
  }

  const bool byHand = GetConfigBool("identifyLeftRightController", false);
  for (int i = 0; i < ToolIconCount; ++i) {
    const std::string first = !byHand ? "lookingglass2.png" : (hand == 1 ? "right.png" : "left.png");
    const bool vertical = i > 0;
    const std::vector<std::string> names = {assets + first,
                                            assets + (vertical ? "enlargeVert2.png" : "enlarge2.png"),
                                            assets + (vertical ? "shrinkVert2.png" : "shrink2.png"),
                                            assets + "forward2.png",
                                            assets + "backward2.png",
                                            assets + "clip_small2.png",
                                            assets + "planesection_small.png",
                                            assets + "lookingglass2.png"};
    _toolIcons[i].build(renderer, fetchTextures(cache, names, 0));
    _toolIcons[i].setTranslucencyMode(0);
  }

  _colorBar.create(renderer);
  _colorBar.setTranslucencyMode(1);
  setAllVisible(false);
  // The first update lays everything out.
  _toolLayoutCache.clear();
  _annotationLayoutCache.clear();
}

bool ToolSet::attachPaletteImages(IconTextureCache* cache) {
  if (_paletteAttached || !_built || !cache || cache->palettePending()) return false;
  vtkSmartPointer<OpenVRTexture> teleport;
  cache->wrapCurrentTexture(teleport);
  _palettePainter->SetTeleportOverlayTexture(teleport);
  std::vector<vtkSmartPointer<OpenVRTexture>> overlays, pages;
  cache->createTexturesB(overlays);
  _palettePainter->SetOverlayTextures(asTextures(overlays));
  cache->createTexturesA(pages);
  _palettePanel.setPageTextures(asTextures(pages));
  _paletteAttached = true;
  // A palette asked for while its images were missing shows now.
  _palettePanel.setVisibility(_paletteWanted);
  return true;
}

void ToolSet::update(const double modelMatrix[16], const double /*headView*/[16], const ControllerInput& input,
                     int hand, const AnnotationLayoutSettings& annotations, const ToolLayoutSettings& tools) {
  if (!_built) return;
  layoutAnnotations(hand, annotations);
  layoutTools(hand, tools);
  const double* R = input.pose;
  const double* p = input.position;
  if (_palettePanel.getVisibility()) _palettePanel.updatePose(modelMatrix, R, p);
  if (_laser.getVisibility()) _laser.update(modelMatrix, R, p);
  if (_laser2.getVisibility()) _laser2.update(modelMatrix, R, p);
  if (_quickStartPanel.getVisibility()) _quickStartPanel.updatePose(modelMatrix, R, p);
  if (_laserSpot.getVisibility()) _laserSpot.updatePose(modelMatrix, R, p);
  for (VirtualPostIt& icon : _toolIcons)
    if (icon.getVisibility()) icon.updatePose(modelMatrix, R, p);
  for (const auto& label : _postIts)
    if (VirtualPostIt* panel = label.get())
      if (panel->getVisibility()) panel->updatePose(modelMatrix, R, p);
  if (_colorBar.getVisibility()) _colorBar.updateTransform(modelMatrix, R, p);
}

bool ToolSet::layoutAnnotations(int hand, const AnnotationLayoutSettings& annotations) {
  if (annotations == _annotationLayoutCache) return false;
  _annotationLayoutCache = annotations;
  const AnnotationLayoutSettings& a = annotations;
  const bool left = hand == 0;
  const double yaw = left ? -a.touchPadYaw : a.touchPadYaw;
  const double roll = left ? -a.touchPadRoll : a.touchPadRoll;
  const double ox = left ? -a.touchPadOffset[0] : a.touchPadOffset[0];
  const double px = left ? -a.touchPadPivot[0] : a.touchPadPivot[0];
  const double oy = a.touchPadOffset[1], oz = a.touchPadOffset[2];
  const double aw = a.annotationWidth, ah = a.annotationHeight, tw = a.touchPadWidth, th = a.touchPadHeight;
  const double X[4] = {ox - ah / 2 - tw / 2, ox - aw / 2, ox - ah / 2 + tw / 2, ox - aw / 2};
  const double Y[4] = {oy + aw / 2, oy - ah / 2 - th / 2, oy + aw / 2, oy - ah / 2 + th / 2};
  const double pivot[3] = {px, a.touchPadPivot[1], -a.touchPadPivot[2]};
  for (int s = DirectionNorth; s >= DirectionWest; --s) {
    VirtualPostIt* label = _postIts[s].get();
    if (!label) continue;
    const double origin[3] = {X[s], oz, -Y[s]};
    if (s == DirectionWest || s == DirectionEast) {
      const double point1[3] = {X[s], oz, -Y[s] + aw}, point2[3] = {X[s] + ah, oz, -Y[s]};
      label->setSize(point1, point2, origin);
    } else {
      const double point1[3] = {X[s] + aw, oz, -Y[s]}, point2[3] = {X[s], oz, -Y[s] - ah};
      label->setSize(point1, point2, origin);
    }
    label->setOrientation(yaw, a.touchPadPitch, roll);
    label->setPivot(pivot);
  }
  return true;
}

bool ToolSet::layoutTools(int hand, const ToolLayoutSettings& tools) {
  if (tools == _toolLayoutCache) return false;
  const ToolLayoutSettings& c = _toolLayoutCache;
  auto same3 = [](const double a[3], const double b[3]) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; };
  const bool offsetSame = same3(tools.toolsOffset, c.toolsOffset);
  const bool iconsSame = tools.toolIconSize == c.toolIconSize && tools.toolsAngle == c.toolsAngle && offsetSame;
  const bool barSame = offsetSame && tools.toolsAngle == c.toolsAngle && tools.colorBarHeight == c.colorBarHeight &&
                       tools.colorBarWidth == c.colorBarWidth;
  const bool paletteSame = same3(tools.paletteOffset, c.paletteOffset) && tools.paletteHeight == c.paletteHeight &&
                           tools.paletteWidth == c.paletteWidth && tools.paletteAngle == c.paletteAngle;
  const double Tx = hand == 0 ? -tools.toolsOffset[0] : tools.toolsOffset[0];
  const double Ty = tools.toolsOffset[1], Tz = -tools.toolsOffset[2];
  const double a = -tools.toolsAngle;

  if (!iconsSame) {
    const double h = tools.toolIconSize / 2;
    const double flatOrigin[3] = {Tx - h, Ty, Tz + h}, flat1[3] = {Tx + h, Ty, Tz + h}, flat2[3] = {Tx - h, Ty, Tz - h};
    const double sideOrigin[3] = {Tx, Ty + h, Tz + h}, side1[3] = {Tx, Ty - h, Tz + h}, side2[3] = {Tx, Ty + h, Tz - h};
    const double flatPivot[3] = {Tx - h, Ty, Tz}, sidePivot[3] = {Tx, Ty + h, Tz};
    _toolIcons[0].setSize(flat1, flat2, flatOrigin);
    _toolIcons[0].setOrientation(0.0, a, 0.0);
    _toolIcons[0].setPivot(flatPivot);
    _toolIcons[1].setSize(flat1, flat2, flatOrigin);
    _toolIcons[1].setOrientation(0.0, a - 90.0, 0.0);
    _toolIcons[1].setPivot(flatPivot);
    _toolIcons[2].setSize(side1, side2, sideOrigin);
    _toolIcons[2].setOrientation(0.0, a, 0.0);
    _toolIcons[2].setPivot(sidePivot);
  }
  if (!barSame) {
    const double w = tools.colorBarWidth / 2, b = tools.colorBarHeight / 2;
    const double point1[3] = {Tx + w, Ty, Tz + b}, point2[3] = {Tx - w, Ty, Tz - b}, origin[3] = {Tx - w, Ty, Tz + b};
    _colorBar.buildGeometry(point1, point2, origin, a - 90.0);
  }
  if (!paletteSame) {
    const double* q = tools.paletteOffset;
    const double W = tools.paletteWidth, H = tools.paletteHeight;
    const double origin[3] = {q[0] - W / 2, q[2], -q[1]};
    const double point1[3] = {q[0] + W / 2, q[2], -q[1]};
    const double point2[3] = {q[0] - W / 2, q[2], -q[1] - H};
    _palettePanel.setSize(point1, point2, origin);
    _palettePanel.setOrientation(0.0, tools.paletteAngle, 0.0);
  }
  _toolLayoutCache = tools;
  return true;
}

void ToolSet::removeFromRenderer(vtkRenderer* renderer) {
  if (!renderer) return;
  _palettePanel.removeFromRenderer(renderer);
  _laser.removeFromRenderer(renderer);
  _laser2.removeFromRenderer(renderer);
  _laserSpot.removeFromRenderer(renderer);
  _quickStartPanel.removeFromRenderer(renderer);
  _colorBar.removeFromRenderer(renderer);
  for (const auto& label : _postIts)
    if (VirtualPostIt* panel = label.get()) panel->removeFromRenderer(renderer);
  for (VirtualPostIt& icon : _toolIcons) icon.removeFromRenderer(renderer);
}

void ToolSet::releaseGraphicsResources(vtkWindow* window) {
  _palettePanel.releaseGraphicsResources(window);
  _laser.releaseGraphicsResources(window);
  _laser2.releaseGraphicsResources(window);
  _laserSpot.releaseGraphicsResources(window);
  _quickStartPanel.releaseGraphicsResources(window);
  _colorBar.releaseGraphicsResources(window);
  for (const auto& label : _postIts)
    if (VirtualPostIt* panel = label.get()) panel->releaseGraphicsResources(window);
  for (VirtualPostIt& icon : _toolIcons) icon.releaseGraphicsResources(window);
}

void ToolSet::copyFrom(const ToolSet& source, int, int) {
  if (&source == this) return;
  toolStatus = source.toolStatus;
  _laser.copyFrom(source._laser);
  _palettePanel.copyFrom(source._palettePanel);
  setPalettePanelVisible(source._paletteWanted);
  _quickStartPanel.copyFrom(source._quickStartPanel);
  for (int i = 0; i < ToolIconCount; ++i) _toolIcons[i].copyFrom(source._toolIcons[i]);
  _laserSpot.copyFrom(source._laserSpot);
  for (int slot = DirectionNorth; slot >= DirectionWest; --slot) {
    VirtualPostIt* to = _postIts[slot].get();
    const VirtualPostIt* from = source._postIts[slot].get();
    if (to && from) to->copyFrom(*from);
  }
}

void ToolSet::swapPostIts(ToolSet& other) {
  for (int slot = DirectionNorth; slot >= DirectionWest; --slot) _postIts[slot].swap(other._postIts[slot]);
}

void ToolSet::reset() {
  for (VirtualPostIt& icon : _toolIcons) icon.setVisibility(false);
  setPalettePanelVisible(false);
  setTeleportOverlayVisible(false);
  setLinkedOverlayVisible(false);
  setPostItsVisible(false);
  _colorBar.setVisibility(false);
  _laser.setVisibility(false);
  _laser2.setVisibility(false);
  _laserSpot.setVisibility(false);
  _quickStartPanel.setVisibility(false);
  _toolIcons[0].setVisibility(true);
  setPalettePage(0);
  for (VirtualPostIt& icon : _toolIcons) icon.setPage(0);
  for (int slot = DirectionNorth; slot >= DirectionWest; --slot)
    if (VirtualPostIt* label = _postIts[slot].get())
      if (label->pageCount() > DirectionNone) label->setPage(DirectionNone);
  selectQuickStartPage(-1);
}

void ToolSet::showAll(int level) {
  setAllVisible(true);
  setPalettePage(clampPage(_palettePanel.pageCount(), level));
  selectQuickStartPage(clampPage(_quickStartPanel.pageCount(), level));
  for (VirtualPostIt& icon : _toolIcons) {
    icon.setVisibility(true);
    icon.setPage(clampPage(icon.pageCount(), level));
  }
  for (int slot = DirectionNorth; slot >= DirectionWest; --slot)
    if (VirtualPostIt* label = _postIts[slot].get())
      if (label->pageCount() > 0) label->setPage(clampPage(label->pageCount(), level));
}

void ToolSet::setAllVisible(bool visible) {
  for (VirtualPostIt& icon : _toolIcons) icon.setVisibility(visible);
  setPalettePanelVisible(visible);
  setTeleportOverlayVisible(visible);
  setLinkedOverlayVisible(visible);
  setPostItsVisible(visible);
  _colorBar.setVisibility(visible);
  _laser.setVisibility(visible);
  _laser2.setVisibility(visible);
  _laserSpot.setVisibility(visible);
  _quickStartPanel.setVisibility(visible);
}

void ToolSet::setPostItsVisible(bool visible) {
  for (const auto& label : _postIts)
    if (VirtualPostIt* panel = label.get()) panel->setVisibility(visible);
}

bool ToolSet::arePostItsVisible() const {
  for (const auto& label : _postIts)
    if (VirtualPostIt* panel = label.get())
      if (panel->getVisibility()) return true;
  return false;
}

VirtualPostIt* ToolSet::postIt(int slot) const { return slot >= 0 && slot < 4 ? _postIts[slot].get() : nullptr; }

void ToolSet::setPostItColor(int icon, const double rgb[3]) {
  if (VirtualPostIt* label = postIt(icon)) label->setColor(rgb);
}

const double* ToolSet::postItColor(int icon) const {
  static const double none[3] = {1.0, 1.0, 1.0};
  const VirtualPostIt* label = postIt(icon);
  return label ? label->getColor() : none;
}

void ToolSet::selectPostItPage(int icon, int page) {
  VirtualPostIt* label = postIt(icon);
  if (label && page >= 0 && page < label->pageCount()) label->setPage(page);
}

int ToolSet::postItPage(int icon) const {
  const VirtualPostIt* label = postIt(icon);
  return label ? label->page() : 0;
}

int ToolSet::postItPageCount(int icon) const {
  const VirtualPostIt* label = postIt(icon);
  return label ? label->pageCount() : 0;
}

void ToolSet::setToolIconState(int icon, bool visible, int page) {
  if (icon < 0 || icon >= ToolIconCount) return;
  _toolIcons[icon].setVisibility(visible);
  _toolIcons[icon].setPage(page);
}

void ToolSet::setToolIconsVisible(int mask, int page) {
  for (int i = 0; i < ToolIconCount; ++i) setToolIconState(i, (mask & (1 << i)) != 0, page);
  _colorBar.setVisibility((mask & 8) != 0);
}

int ToolSet::toolIconVisibilityMask() const {
  int mask = 0;
  for (int i = 0; i < ToolIconCount; ++i)
    if (_toolIcons[i].getVisibility()) mask |= 1 << i;
  if (_colorBar.getVisibility()) mask |= 8;
  return mask;
}

int ToolSet::toolIconPage(int icon) const {
  return icon >= 0 && icon < ToolIconCount ? _toolIcons[icon].page() : 0;
}

bool ToolSet::isToolIconVisible(int icon) const {
  return icon >= 0 && icon < ToolIconCount && _toolIcons[icon].getVisibility();
}

void ToolSet::toolIcon1Normal(double normal[3]) const { _toolIcons[1].getNormal(normal); }

void ToolSet::setPalettePanelVisible(bool visible) {
  _paletteWanted = visible;
  // Without its images the panel would be a blank sheet whose buttons cannot be seen: it stays
  // hidden until attachPaletteImages, which shows it if it is still wanted then.
  _palettePanel.setVisibility(visible && isPaletteReady());
}
bool ToolSet::isPaletteReady() const { return _paletteAttached || !_paletteAwaited; }
bool ToolSet::isPalettePanelVisible() const { return _palettePanel.getVisibility(); }
void ToolSet::setPalettePage(int mask) { _palettePanel.setPage(mask); }

void ToolSet::setPaletteStateBit(int bit, bool on) {
  const int page = _palettePanel.page();
  setPalettePage(on ? (page | bit) : (page & ~bit));
}

void ToolSet::setPaletteOverlay(int overlay) { _palettePainter->SetOverlayIndex(overlay); }
int ToolSet::paletteOverlay() const { return _palettePainter->GetOverlayIndex(); }

void ToolSet::setPaletteColors(const double center[3], const double previous[3], const double next[3]) {
  _palettePainter->SetCenterColor(center);
  _palettePainter->SetPrevColor(previous);
  _palettePainter->SetNextColor(next);
}

void ToolSet::setTeleportOverlayVisible(bool visible) { _palettePainter->SetTeleportOverlayVisible(visible); }
bool ToolSet::isTeleportOverlayVisible() const { return _palettePainter->GetTeleportOverlayVisible(); }
void ToolSet::setLinkedOverlayVisible(bool visible) { _palettePainter->SetLinkedOverlayVisible(visible); }
bool ToolSet::isLinkedOverlayVisible() const { return _palettePainter->GetLinkedOverlayVisible(); }
void ToolSet::setLinkedOverlayTexture(OpenVRTexture* texture) { _palettePainter->SetLinkedOverlayTexture(texture); }

OpenVRTexture* ToolSet::linkedOverlayTexture() const {
  return OpenVRTexture::SafeDownCast(_palettePainter->GetLinkedOverlayTexture());
}

void ToolSet::resetLasers(double paletteAngle) {
  double color[3];
  GetLaserColorRGB(color);
  _laser.resetLength();
  _laser.resetDirection();
  _laser.setVisibility(false);
  _laser.setColor(color);
  _laser2.resetDirection();
  _laser2.setVisibility(false);
  _laser2.setColor(color);
  _laserSpot.setOrientation(0.0, paletteAngle, 0.0);
  const double zero[3] = {0.0, 0.0, 0.0};
  _laserSpot.setPosition(zero);
  _laserSpot.setVisibility(false);
  _laserSpot.setColor(color);
  _palettePainter->SetLaserCircleVisible(false);
  _palettePainter->SetLaserCirclePos(0.0, 0.0);
}

void ToolSet::setLaserVisible(bool visible) { _laser.setVisibility(visible); }
bool ToolSet::isLaserVisible() const { return _laser.getVisibility(); }
void ToolSet::setLaserLength(double length) { _laser.setLength(length); }
double ToolSet::laserLength() const { return _laser.length(); }

void ToolSet::setLaserDirection(const double direction[3]) {
  _laser.setDirection(direction);
  _laser2.setDirection(direction);
}

void ToolSet::setLaserColor(const double rgb[3]) {
  _laser.setColor(rgb);
  _laser2.setColor(rgb);
}

void ToolSet::setLaser2Visible(bool visible) { _laser2.setVisibility(visible); }
void ToolSet::setLaser2Offset(double offset) { _laser2.setOffset(offset); }

void ToolSet::setLaserSpotVisible(bool visible) { _laserSpot.setVisibility(visible); }
bool ToolSet::isLaserSpotVisible() const { return _laserSpot.getVisibility(); }
void ToolSet::setLaserSpotPosition(const double position[3]) { _laserSpot.setPosition(position); }
void ToolSet::laserSpotPosition(double out[3]) const { _laserSpot.position(out); }
void ToolSet::laserSpotNormal(double out[3]) const { _laserSpot.getNormal(out); }
void ToolSet::alignLaserSpot(const double direction[3]) { _laserSpot.alignTo(direction); }
void ToolSet::setLaserSpotColor(const double rgb[3]) { _laserSpot.setColor(rgb); }

void ToolSet::setLaserCirclePos(double u, double v) { _palettePainter->SetLaserCirclePos(u, v); }
const double* ToolSet::laserCirclePos() const { return _palettePainter->GetLaserCirclePos(); }
void ToolSet::setLaserCircleVisible(bool visible) { _palettePainter->SetLaserCircleVisible(visible); }
bool ToolSet::isLaserCircleVisible() const { return _palettePainter->GetLaserCircleVisible(); }
void ToolSet::setLaserCircleOnFront(bool onFront) { _palettePainter->SetLaserCircleOnFront(onFront); }

void ToolSet::setColorBarVisible(bool visible) { _colorBar.setVisibility(visible); }
bool ToolSet::isColorBarVisible() const { return _colorBar.getVisibility(); }

void ToolSet::setColorBarSource(vtkObject* source) {
  if (!source) {
    _colorBar.setLookupTable(nullptr);
    _colorBarSourceTime = 0;
    return;
  }
  if (source == _colorBarSource && source->GetMTime() == _colorBarSourceTime) return;
  _colorBarSourceTime = source->GetMTime();
  _colorBarSource = source;
  _colorBar.setLookupTable(vtkScalarsToColors::SafeDownCast(source));
}

void ToolSet::setColorBarOffset(const double offset[3]) { _colorBar.setOffset(offset); }

void ToolSet::setColorBarValues(double a, double b, double c) {
  const double offset[3] = {a, b, c};
  _colorBar.setOffset(offset);
}

void ToolSet::slideColorBar(const double pose[16], double t, double barWidth) {
  const double shift = (0.5 - t) * barWidth;
  // The pose's first column: the controller's x axis in the room.
  setColorBarValues(pose[0] * shift, pose[4] * shift, pose[8] * shift);
}

void ToolSet::setQuickStartVisible(bool visible) { _quickStartPanel.setVisibility(visible); }
bool ToolSet::isQuickStartVisible() const { return _quickStartPanel.getVisibility(); }

void ToolSet::selectQuickStartPage(int page) {
  _quickStartPanel.setPage(page >= 0 && page < _quickStartPanel.pageCount() ? page : -1);
}
