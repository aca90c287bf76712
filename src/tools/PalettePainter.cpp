#include "PalettePainter.h"

#include <array>
#include <string>

#include <vtkActor.h>
#include <vtkObjectFactory.h>
#include <vtkOpenGLHelper.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkShader.h>
#include <vtkShaderProgram.h>
#include <vtkTexture.h>

#include "Configuration.h"
#include "PaletteImages.h"

namespace {

const char* const kDeclarations = R"(//VTK::TCoord::Dec
uniform vec3 _prevCol;
uniform vec3 _centerCol;
uniform vec3 _nextCol;
uniform vec2 _bounds;
uniform int _teleportOverlayVisible;
uniform int _linkedOverlayVisible;
uniform vec2 _laserCirclePos;
uniform int _laserCircleVisible;
uniform vec3 _laserCircleColor;
uniform int _laserCircleOnFront;
uniform float _invLaserCircleRadius;
uniform float _paletteAspect;
uniform sampler2D _teleportOverlayTex;
uniform sampler2D _linkedOverlayTex;
uniform sampler2D _overlayTex;
uniform int _teleportOverlayTexBound;
uniform int _linkedOverlayTexBound;
uniform int _overlayTexBound;
)";

// After the page texel: gl_FragData[0] holds white material x page texel.
const char* const kImplementation = R"(//VTK::TCoord::Impl
  {
    vec2 paletteUV = tcoordVCVSOutput.st;
    vec4 palette = gl_FragData[0];
    if (_teleportOverlayVisible != 0 && _teleportOverlayTexBound != 0) {
      // The marked areas of the three avatar buttons take the participants' colours, split at
      // the teleport button's edges.
      float mask = texture(_teleportOverlayTex, paletteUV).a;
      vec3 who = paletteUV.s < _bounds.x ? _prevCol : (paletteUV.s > _bounds.y ? _nextCol : _centerCol);
      palette.rgb = mix(palette.rgb, who, mask);
    }
    if (_overlayTexBound != 0) {
      vec4 overlay = texture(_overlayTex, paletteUV);
      palette.rgb = mix(palette.rgb, overlay.rgb, overlay.a);
      palette.a = max(palette.a, overlay.a);
    }
    if (_linkedOverlayVisible != 0 && _linkedOverlayTexBound != 0) {
      vec4 linked = texture(_linkedOverlayTex, paletteUV);
      palette.rgb = mix(palette.rgb, linked.rgb, linked.a);
      palette.a = max(palette.a, linked.a);
    }
    if (_laserCircleVisible != 0 && _invLaserCircleRadius > 0.0) {
      // Distance in circle radii, measured in metres on the panel (u spans its width, v its
      // height): a disc where the laser hits the front, a ring where it hits the back.
      float r = length((paletteUV - _laserCirclePos) * vec2(1.0, _paletteAspect) * _invLaserCircleRadius);
      if (r <= 1.0 && (_laserCircleOnFront != 0 || r >= 0.6)) palette = vec4(_laserCircleColor, 1.0);
    }
    gl_FragData[0] = palette;
  }
)";

void copy3(const double in[3], double out[3]) {
  out[0] = in[0];
  out[1] = in[1];
  out[2] = in[2];
}

void setColor(vtkShaderProgram* program, const char* name, const double rgb[3]) {
  const float v[3] = {float(rgb[0]), float(rgb[1]), float(rgb[2])};
  if (program->IsUniformUsed(name)) program->SetUniform3f(name, v);
}

void setInt(vtkShaderProgram* program, const char* name, int value) {
  if (program->IsUniformUsed(name)) program->SetUniformi(name, value);
}

void setFloat(vtkShaderProgram* program, const char* name, double value) {
  if (program->IsUniformUsed(name)) program->SetUniformf(name, float(value));
}

void setVec2(vtkShaderProgram* program, const char* name, double a, double b) {
  const float v[2] = {float(a), float(b)};
  if (program->IsUniformUsed(name)) program->SetUniform2f(name, v);
}

// Binds the texture to a free unit of the window; -1 without a texture.
int bind(vtkTexture* texture, vtkRenderer* renderer) {
  if (!texture) return -1;
  texture->Render(renderer);
  return texture->GetTextureUnit();
}

void unbind(vtkTexture* texture, int unit, vtkRenderer* renderer) {
  if (texture && unit >= 0) texture->PostRender(renderer);
}

}  // namespace

namespace kvg {

vtkStandardNewMacro(PalettePainter);

PalettePainter::PalettePainter() = default;

PalettePainter::~PalettePainter() = default;

void PalettePainter::SetPrevColor(const double rgb[3]) { copy3(rgb, _prevColor); }
void PalettePainter::SetCenterColor(const double rgb[3]) { copy3(rgb, _centerColor); }
void PalettePainter::SetNextColor(const double rgb[3]) { copy3(rgb, _nextColor); }

void PalettePainter::SetOverlayTextures(const TextureList& textures) {
  if (&textures != &_overlayTextures) _overlayTextures = textures;
}

void PalettePainter::SetLaserCirclePos(double u, double v) {
  _laserCirclePosition[0] = u;
  _laserCirclePosition[1] = v;
}

vtkTexture* PalettePainter::currentOverlay() const {
  if (_overlayIndex < 0 || _overlayIndex >= static_cast<int>(_overlayTextures.size())) return nullptr;
  return _overlayTextures[_overlayIndex];
}

void PalettePainter::RenderPiece(vtkRenderer* renderer, vtkActor* actor) {
  vtkTexture* overlay = currentOverlay();
  vtkTexture* teleport = _showTeleportOverlay ? _teleportOverlayTexture.Get() : nullptr;
  vtkTexture* linked = _showLinkedOverlay ? _linkedOverlayTexture.Get() : nullptr;
  _overlayUnit = bind(overlay, renderer);
  _teleportUnit = bind(teleport, renderer);
  _linkedUnit = bind(linked, renderer);
  Superclass::RenderPiece(renderer, actor);
  unbind(linked, _linkedUnit, renderer);
  unbind(teleport, _teleportUnit, renderer);
  unbind(overlay, _overlayUnit, renderer);
  _overlayUnit = _teleportUnit = _linkedUnit = -1;
}

void PalettePainter::ReplaceShaderValues(std::map<vtkShader::Type, vtkShader*> shaders, vtkRenderer* renderer,
                                         vtkActor* actor) {
  // The palette code reads the page's texture coordinates; a quad without a page or without
  // coordinates is drawn as the superclass draws it.
  vtkPolyData* input = this->CurrentInput;
  _paletteCode = actor && actor->GetTexture() && input && input->GetPointData()->GetTCoords();
  if (_paletteCode) {
    std::string source = shaders[vtkShader::Fragment]->GetSource();
    vtkShaderProgram::Substitute(source, "//VTK::TCoord::Dec", kDeclarations);
    vtkShaderProgram::Substitute(source, "//VTK::TCoord::Impl", kImplementation);
    shaders[vtkShader::Fragment]->SetSource(source);
  }
  Superclass::ReplaceShaderValues(shaders, renderer, actor);
}

void PalettePainter::SetMapperShaderParameters(vtkOpenGLHelper& cellBO, vtkRenderer* renderer, vtkActor* actor) {
  Superclass::SetMapperShaderParameters(cellBO, renderer, actor);
  vtkShaderProgram* program = cellBO.Program;
  if (!program || !_paletteCode) return;

  setColor(program, "_prevCol", _prevColor);
  setColor(program, "_centerCol", _centerColor);
  setColor(program, "_nextCol", _nextColor);
  const PaletteRect teleport = GetPaletteButtonRect(kTeleportAvatar);
  setVec2(program, "_bounds", teleport[0], teleport[1]);
  setVec2(program, "_laserCirclePos", _laserCirclePosition[0], _laserCirclePosition[1]);
  const std::array<double, 3> laser = GetConfigVector3("laserColorRGB", {0.0, 0.37255, 1.0});
  setColor(program, "_laserCircleColor", laser.data());
  setInt(program, "_teleportOverlayVisible", _showTeleportOverlay ? 1 : 0);
  setInt(program, "_linkedOverlayVisible", _showLinkedOverlay ? 1 : 0);
  setInt(program, "_laserCircleVisible", _showLaserCircle ? 1 : 0);
  setInt(program, "_laserCircleOnFront", _laserCircleInFront ? 1 : 0);
  // A zero width or radius draws no circle rather than dividing by zero.
  const double width = GetConfigFinite("paletteWidth", 0.2, true);
  const double height = GetConfigFinite("paletteHeight", 0.288, true);
  const double radius = GetConfigReal("laserCircleRadius", 0.01);
  const bool sized = width > 0.0 && radius > 0.0;
  setFloat(program, "_paletteAspect", width > 0.0 ? height / width : 1.0);
  setFloat(program, "_invLaserCircleRadius", sized ? width / radius : 0.0);

  setInt(program, "_overlayTexBound", _overlayUnit >= 0 ? 1 : 0);
  setInt(program, "_teleportOverlayTexBound", _teleportUnit >= 0 ? 1 : 0);
  setInt(program, "_linkedOverlayTexBound", _linkedUnit >= 0 ? 1 : 0);
  if (_overlayUnit >= 0) setInt(program, "_overlayTex", _overlayUnit);
  if (_teleportUnit >= 0) setInt(program, "_teleportOverlayTex", _teleportUnit);
  if (_linkedUnit >= 0) setInt(program, "_linkedOverlayTex", _linkedUnit);
}

}  // namespace kvg
