#pragma once
// How a prop reacts to the renderer's lights. Replaces the scene graph's old painter chains
// (unlit painter / lighting painter over a polygon painter): every prop draws through VTK's
// own poly-data mapper, and only its material decides between the two looks.
class vtkActor;
class vtkProperty;

namespace kvg {

enum class PropLighting {
  // The colour (or colour x texel) exactly as given, whatever the lights: lighting off,
  // ambient 1, diffuse 0, specular 0. Diffuse must be 0: with lighting off VTK adds the
  // ambient and the diffuse term, which would double the colour. Set the colour with
  // vtkProperty::SetColor (or SetAmbientColor).
  Unlit,
  // Shaded by the renderer's lights: lighting on, ambient 0, diffuse 1. Specular settings are
  // left to the caller.
  Lit
};

void SetPropLighting(vtkProperty* property, PropLighting lighting);
void SetPropLighting(vtkActor* actor, PropLighting lighting);

}  // namespace kvg
