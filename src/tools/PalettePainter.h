#pragma once
// The mapper that draws the palette quad: VTK's poly-data mapper with a fragment-shader
// addition that lays the palette's per-frame state over the page image (the actor's texture):
// the hovered or pressed button's overlay, the participants' colours in the avatar buttons'
// marked areas (teleport mask), the linked-state overlay and the circle where the other hand's
// laser meets the palette. Nothing is repainted per frame; only uniforms change.
//
// Uniforms and samplers: "_prevCol", "_centerCol", "_nextCol", "_bounds", "_teleportOverlayVisible",
// "_linkedOverlayVisible", "_laserCirclePos", "_laserCircleVisible", "_laserCircleColor",
// "_laserCircleOnFront", "_invLaserCircleRadius", "_paletteAspect", "_teleportOverlayTex",
// "_linkedOverlayTex", "_overlayTex"; each sampler has a "...Bound" flag so that a unit with
// nothing bound in this pass is never read.
//
// Set up by the thread that prepares the buffer's tool sets, drawn by the render thread with
// the window's context current; never both at once. No lock.
#include <vector>

#include <vtkOpenGLPolyDataMapper.h>
#include <vtkSmartPointer.h>

class vtkTexture;

namespace kvg {

class PalettePainter : public vtkOpenGLPolyDataMapper {
 public:
  static PalettePainter* New();
  vtkTypeMacro(PalettePainter, vtkOpenGLPolyDataMapper);

  using TextureList = std::vector<vtkSmartPointer<vtkTexture>>;

  void SetPrevColor(const double rgb[3]);
  void SetCenterColor(const double rgb[3]);
  void SetNextColor(const double rgb[3]);
  const double* GetPrevColor() const { return _prevColor; }
  const double* GetCenterColor() const { return _centerColor; }
  const double* GetNextColor() const { return _nextColor; }
  // 0 none, 1..12 hover, 13..24 pressed; an index without an entry draws no overlay.
  void SetOverlayIndex(int index) { _overlayIndex = index; }
  int GetOverlayIndex() const { return _overlayIndex; }
  void SetTeleportOverlayTexture(vtkTexture* texture) { _teleportOverlayTexture = texture; }
  void SetLinkedOverlayTexture(vtkTexture* texture) { _linkedOverlayTexture = texture; }
  vtkTexture* GetLinkedOverlayTexture() const { return _linkedOverlayTexture; }
  void SetOverlayTextures(const TextureList& textures);
  const TextureList& GetOverlayTextures() const { return _overlayTextures; }
  void SetTeleportOverlayVisible(bool visible) { _showTeleportOverlay = visible; }
  bool GetTeleportOverlayVisible() const { return _showTeleportOverlay; }
  void SetLinkedOverlayVisible(bool visible) { _showLinkedOverlay = visible; }
  bool GetLinkedOverlayVisible() const { return _showLinkedOverlay; }
  void SetLaserCircleVisible(bool visible) { _showLaserCircle = visible; }
  bool GetLaserCircleVisible() const { return _showLaserCircle; }
  // Palette units: 0..1 across, 0..1 up.
  void SetLaserCirclePos(double u, double v);
  const double* GetLaserCirclePos() const { return _laserCirclePosition; }
  void SetLaserCircleOnFront(bool onFront) { _laserCircleInFront = onFront; }
  bool GetLaserCircleOnFront() const { return _laserCircleInFront; }

  // Render thread: binds the overlay textures around the superclass's drawing.
  void RenderPiece(vtkRenderer* renderer, vtkActor* actor) override;

 protected:
  PalettePainter();
  ~PalettePainter() override;

  void ReplaceShaderValues(std::map<vtkShader::Type, vtkShader*> shaders, vtkRenderer* renderer,
                           vtkActor* actor) override;
  void SetMapperShaderParameters(vtkOpenGLHelper& cellBO, vtkRenderer* renderer, vtkActor* actor) override;

 private:
  PalettePainter(const PalettePainter&) = delete;
  void operator=(const PalettePainter&) = delete;

  // The overlay of the current index, null when the index has no entry.
  vtkTexture* currentOverlay() const;

  double _prevColor[3] = {0.0, 0.0, 0.0};
  double _centerColor[3] = {0.0, 0.0, 0.0};
  double _nextColor[3] = {0.0, 0.0, 0.0};
  int _overlayIndex = 0;
  vtkSmartPointer<vtkTexture> _teleportOverlayTexture;
  vtkSmartPointer<vtkTexture> _linkedOverlayTexture;
  TextureList _overlayTextures;
  bool _showTeleportOverlay = false;
  bool _showLinkedOverlay = false;
  double _laserCirclePosition[2] = {0.0, 0.0};
  bool _showLaserCircle = false;
  bool _laserCircleInFront = false;
  // Texture units of this pass, -1 when nothing is bound for the sampler.
  int _teleportUnit = -1;
  int _linkedUnit = -1;
  int _overlayUnit = -1;
  // Whether the shader of this pass carries the palette code (the page has texture coordinates).
  bool _paletteCode = false;
};

}  // namespace kvg
