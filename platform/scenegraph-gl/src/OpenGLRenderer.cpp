#include "kvg/OpenGLRenderer.h"

#include <cmath>

#include <vtkActor.h>
#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkMapper.h>
#include <vtkObjectFactory.h>
#include <vtkOpenGLShaderProperty.h>
#include <vtkPropCollection.h>
#include <vtkShaderProgram.h>
#include <vtkSmartPointer.h>

namespace kvg {

vtkStandardNewMacro(OpenGLRenderer);

namespace {

// Names the fog code uses in the fragment shader.
constexpr const char* kFogEnabled = "kvgFogEnabled";
constexpr const char* kFogColor = "kvgFogColor";
constexpr const char* kFogDensity = "kvgFogDensity";
constexpr const char* kFogMarker = "//KVG::Fog::Impl";

// The renderer whose DeviceRender runs on this thread; the mapper hook reads its fog.
thread_local OpenGLRenderer* tlFogRenderer = nullptr;

}  // namespace

// Sets the fog uniforms each time a mapper has bound a shader program that carries the fog code.
// Runs inside the mapper's drawing, so it sees the fog colour of that very moment.
class FogUniformHook {
 public:
  static void onUpdateShader(vtkObject*, unsigned long, void*, void* callData) {
    auto* program = static_cast<vtkShaderProgram*>(callData);
    if (!program || !program->IsUniformUsed(kFogEnabled)) return;
    const OpenGLRenderer* renderer = tlFogRenderer;
    const bool on = renderer && renderer->_useFog;
    program->SetUniformi(kFogEnabled, on ? 1 : 0);
    if (!on) return;
    const float color[3] = {static_cast<float>(renderer->_fogColor[0]), static_cast<float>(renderer->_fogColor[1]),
                            static_cast<float>(renderer->_fogColor[2])};
    program->SetUniform3f(kFogColor, color);
    program->SetUniformf(kFogDensity, static_cast<float>(renderer->_fogDensity));
  }

  // One command for all mappers of the process, so a mapper carries the hook at most once.
  static vtkCallbackCommand* command() {
    static vtkSmartPointer<vtkCallbackCommand> instance = [] {
      auto cmd = vtkSmartPointer<vtkCallbackCommand>::New();
      cmd->SetCallback(&FogUniformHook::onUpdateShader);
      return cmd;
    }();
    return instance;
  }
};

namespace {

bool hasFogCode(vtkOpenGLShaderProperty* shaderProperty) {
  const int count = shaderProperty->GetNumberOfShaderReplacements();
  for (int i = 0; i < count; ++i) {
    std::string name, value;
    bool first = false, all = false;
    shaderProperty->GetNthShaderReplacement(i, name, first, value, all);
    if (name == kFogMarker) return true;
  }
  return false;
}

void addFogCode(vtkOpenGLShaderProperty* shaderProperty) {
  // Declarations beside VTK's outputs; the fog itself right after texturing, when the
  // fragment holds its final lit and textured colour, and before VTK's alpha discard.
  shaderProperty->AddFragmentShaderReplacement("//VTK::Output::Dec", true,
                                               std::string("//VTK::Output::Dec\n") + "uniform int " + kFogEnabled +
                                                   ";\nuniform vec3 " + kFogColor + ";\nuniform float " +
                                                   kFogDensity + ";\n",
                                               false);
  shaderProperty->AddFragmentShaderReplacement("//VTK::TCoord::Impl", true,
                                               std::string("//VTK::TCoord::Impl\n  ") + kFogMarker + "\n", false);
  // For a perspective projection 1 / gl_FragCoord.w is the clip-space w, the distance along
  // the view axis, which is what fixed-function fog used.
  shaderProperty->AddFragmentShaderReplacement(
      kFogMarker, false,
      std::string("if (") + kFogEnabled + " != 0) {\n" + "    float kvgFogFactor = clamp(exp(-" + kFogDensity +
          " / gl_FragCoord.w), 0.0, 1.0);\n" + "    gl_FragData[0].rgb = mix(" + kFogColor +
          ", gl_FragData[0].rgb, kvgFogFactor);\n" + "  }\n",
      false);
}

}  // namespace

OpenGLRenderer::OpenGLRenderer() = default;
OpenGLRenderer::~OpenGLRenderer() = default;

void OpenGLRenderer::setUseFog(bool on) {
  if (_useFog == on) return;
  _useFog = on;
  Modified();
}

void OpenGLRenderer::setFogColor(const double rgb[3]) {
  for (int i = 0; i < 3; ++i) _fogColor[i] = rgb[i];
}

void OpenGLRenderer::getFogColor(double rgb[3]) const {
  for (int i = 0; i < 3; ++i) rgb[i] = _fogColor[i];
}

void OpenGLRenderer::setFogDensity(double density) {
  _fogDensity = std::isfinite(density) && density > 0.0 ? density : 0.0;
}

void OpenGLRenderer::prepareFogActors() {
  vtkNew<vtkPropCollection> actors;
  vtkCollectionSimpleIterator propIt;
  vtkProp* prop = nullptr;
  for (GetViewProps()->InitTraversal(propIt); (prop = GetViewProps()->GetNextProp(propIt));) {
    prop->GetActors(actors);
  }
  vtkCollectionSimpleIterator it;
  actors->InitTraversal(it);
  while (vtkObject* object = actors->GetNextItemAsObject(it)) {
    auto* actor = vtkActor::SafeDownCast(object);
    if (!actor) continue;
    if (auto* shaderProperty = vtkOpenGLShaderProperty::SafeDownCast(actor->GetShaderProperty())) {
      if (!hasFogCode(shaderProperty)) addFogCode(shaderProperty);
    }
    vtkMapper* mapper = actor->GetMapper();
    if (mapper && !mapper->HasObserver(vtkCommand::UpdateShaderEvent, FogUniformHook::command())) {
      mapper->AddObserver(vtkCommand::UpdateShaderEvent, FogUniformHook::command());
    }
  }
}

void OpenGLRenderer::DeviceRender() {
  // Actors get the fog code only once fog is wanted; an actor that has it and is drawn
  // without fog gets the code switched off by the hook.
  if (_useFog) prepareFogActors();
  OpenGLRenderer* previous = tlFogRenderer;
  tlFogRenderer = this;
  vtkOpenGLRenderer::DeviceRender();
  tlFogRenderer = previous;
}

bool OpenGLRenderer::HasTranslucentPassWork() {
  for (int i = 0; i < PropArrayCount; ++i) {
    vtkProp* prop = PropArray[i];
    if (!prop->HasTranslucentPolygonalGeometry()) continue;
    // A prop may claim translucency for its own reasons (drawn in both passes so it can turn
    // translucent at any time); VTK's own test of the actor says whether it is.
    auto* actor = vtkActor::SafeDownCast(prop);
    if (!actor || actor->vtkActor::HasTranslucentPolygonalGeometry() || !actor->HasOpaqueGeometry()) return true;
  }
  return false;
}

void OpenGLRenderer::DeviceRenderTranslucentPolygonalGeometry(vtkFrameBufferObjectBase* fbo) {
  if (!HasTranslucentPassWork()) return;
  vtkOpenGLRenderer::DeviceRenderTranslucentPolygonalGeometry(fbo);
}

void OpenGLRenderer::PrintSelf(ostream& os, vtkIndent indent) {
  vtkOpenGLRenderer::PrintSelf(os, indent);
  os << indent << "Name: " << _name << "\n";
  os << indent << "UseFog: " << (_useFog ? "On" : "Off") << "\n";
  os << indent << "FogColor: (" << _fogColor[0] << ", " << _fogColor[1] << ", " << _fogColor[2] << ")\n";
  os << indent << "FogDensity: " << _fogDensity << "\n";
}

}  // namespace kvg
