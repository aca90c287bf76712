#pragma once
// Builds the VTK prop of a drawable, by drawable class. Every drawable class of the scene
// graph has a builder except VolumeDrawable, which the volume-rendering service draws; a
// service may install builders of its own. Builders run on the updating thread; they build
// the whole pipeline and update it (the render thread's pipeline may be frozen).
#include <functional>
#include <string>

#include <vtkLookupTable.h>
#include <vtkPlaneCollection.h>
#include <vtkProp.h>
#include <vtkSmartPointer.h>

namespace kvg {

class Drawable;
class DrawableProp;
class DrawableScene;

struct DrawablePropContext {
  DrawableScene& scene;
  // The model renderer's clip planes, for the mappers; never null.
  vtkPlaneCollection* clippingPlanes;
};

class DrawablePropFactory {
 public:
  // Returns the prop, or null when the drawable has nothing to show.
  using Builder = std::function<vtkSmartPointer<vtkProp>(Drawable& drawable, const DrawablePropContext& context)>;

  // Replaces the builder of the class; an empty builder removes it.
  static void setBuilder(const std::string& drawableClassName, Builder builder);
  static Builder getBuilder(const std::string& drawableClassName);
  // Builds with the builder of the drawable's class; null when there is none.
  static vtkSmartPointer<vtkProp> build(Drawable& drawable, const DrawablePropContext& context);

  // The 256-entry table of a named colour map: "rainbow" (blue through cyan, green, yellow to
  // red; also for unknown names), "coolwarm" or "grey"; its range is left to the caller. The
  // analysis colours volumes through the same maps.
  static vtkSmartPointer<vtkLookupTable> makeColorMap(const std::string& name);

  // Applies what may change between builds without new geometry: visibility, colour and
  // highlight, opacity, line width, advanced rendering. Called at every scene update.
  static void applyAttributes(DrawableProp& prop, const Drawable& drawable);
};

}  // namespace kvg
