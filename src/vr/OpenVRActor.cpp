#include "OpenVRActor.h"

#include <vtk_glew.h>

#include <vtkObjectFactory.h>
#include <vtkOpenGLRenderWindow.h>
#include <vtkOpenGLState.h>
#include <vtkRenderer.h>

#include "kvg/OpenGLRenderer.h"
#include "kvg/OpenGLUtilityFunctions.h"

vtkStandardNewMacro(OpenVRActor);

OpenVRActor::OpenVRActor() = default;
OpenVRActor::~OpenVRActor() = default;

void OpenVRActor::SetFogColor(const double rgb[3]) {
  for (int i = 0; i < 3; ++i) _fogColor[i] = rgb[i];
}

vtkTypeBool OpenVRActor::HasTranslucentPolygonalGeometry() {
  if (_showsNothing) return 0;
  if (_translucencyMode == 0) return 0;
  if (_translucencyMode == 1) return 1;
  return vtkActor::HasTranslucentPolygonalGeometry();
}

int OpenVRActor::RenderOpaqueGeometry(vtkViewport* viewport) {
  return _showsNothing ? 0 : vtkOpenGLActor::RenderOpaqueGeometry(viewport);
}

int OpenVRActor::RenderTranslucentPolygonalGeometry(vtkViewport* viewport) {
  return _showsNothing ? 0 : vtkOpenGLActor::RenderTranslucentPolygonalGeometry(viewport);
}

void OpenVRActor::drawWithFog(vtkRenderer* renderer, vtkMapper* mapper) {
  auto* fogged = kvg::OpenGLRenderer::SafeDownCast(renderer);
  if (fogged && fogged->IsA("OpenGLRenderer") && _fogColorOverride) {
    double saved[3] = {0.0, 0.0, 0.0};
    fogged->getFogColor(saved);
    fogged->setFogColor(_fogColor);
    vtkOpenGLActor::Render(renderer, mapper);
    fogged->setFogColor(saved);
  } else {
    vtkOpenGLActor::Render(renderer, mapper);
  }
}

void OpenVRActor::Render(vtkRenderer* renderer, vtkMapper* mapper) {
  if (_queryIssued && _queryId != 0) {
    GLint available = 0;
    glGetQueryObjectiv(_queryId, GL_QUERY_RESULT_AVAILABLE, &available);
    if (available) {
      GLuint samples = 0;
      glGetQueryObjectuiv(_queryId, GL_QUERY_RESULT, &samples);
      _occluded = samples == 0;
    }
  }
  if (_occlusionQueryEnabled && _queryId == 0) {
    glGenQueries(1, &_queryId);
    _queryIssued = false;
  }
  const bool querying = _occlusionQueryEnabled && _queryId != 0;
  if (querying) glBeginQuery(GL_SAMPLES_PASSED, _queryId);

  auto* window = renderer ? vtkOpenGLRenderWindow::SafeDownCast(renderer->GetRenderWindow()) : nullptr;
  if (_depthTestDisabled && window) {
    vtkOpenGLState::ScopedglEnableDisable depthTest(window->GetState(), GL_DEPTH_TEST);
    window->GetState()->vtkglDisable(GL_DEPTH_TEST);
    drawWithFog(renderer, mapper);
  } else {
    drawWithFog(renderer, mapper);
  }

  if (querying) {
    glEndQuery(GL_SAMPLES_PASSED);
    _queryIssued = true;
  }
  kvg::OpenGLUtilityFunctions::checkErrorsGL("OpenVRActor::Render");
}

void OpenVRActor::ReleaseGraphicsResources(vtkWindow* window) {
  vtkOpenGLActor::ReleaseGraphicsResources(window);
  if (_queryId != 0) {
    glDeleteQueries(1, &_queryId);
    _queryId = 0;
  }
  // A deleted query has no result to collect.
  _queryIssued = false;
}

void OpenVRActor::PrintSelf(ostream& os, vtkIndent indent) {
  vtkActor::PrintSelf(os, indent);
  os << indent << "TranslucencyMode: " << _translucencyMode << "\n";
  os << indent << "OcclusionQueryEnabled: " << _occlusionQueryEnabled << " Occluded: " << _occluded << "\n";
  os << indent << "FogColorOverride: " << _fogColorOverride << " FogColor: (" << _fogColor[0] << ", "
     << _fogColor[1] << ", " << _fogColor[2] << ")\n";
  os << indent << "DepthTestDisabled: " << _depthTestDisabled << "\n";
}
