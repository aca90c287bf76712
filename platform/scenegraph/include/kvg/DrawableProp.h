#pragma once
// The VTK prop of one drawable in a drawable scene. Carries the drawable's name and key so
// that picking and the part widgets can tell which drawable a prop shows.
#include <string>

#include <vtkOpenGLActor.h>

namespace kvg {

class DrawableProp : public vtkOpenGLActor {
 public:
  static DrawableProp* New();
  vtkTypeMacro(DrawableProp, vtkOpenGLActor);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  const std::string& GetDrawableName() const { return this->DrawableName; }
  void SetDrawableName(const std::string& name) { this->DrawableName = name; }
  const std::string& GetDrawableKey() const { return this->DrawableKey; }
  void SetDrawableKey(const std::string& key) { this->DrawableKey = key; }
  // The scene-graph class of the drawable ("SurfaceDrawable", ...).
  const std::string& GetDrawableClassName() const { return this->DrawableClassName; }
  void SetDrawableClassName(const std::string& name) { this->DrawableClassName = name; }
  // Whether the mapper colours by a data array when the drawable is not highlighted.
  bool GetScalarColoring() const { return this->ScalarColoring; }
  void SetScalarColoring(bool on) { this->ScalarColoring = on; }

 protected:
  DrawableProp();
  ~DrawableProp() override;

 private:
  DrawableProp(const DrawableProp&) = delete;
  void operator=(const DrawableProp&) = delete;

  std::string DrawableName;
  std::string DrawableKey;
  std::string DrawableClassName;
  bool ScalarColoring = false;
};

}  // namespace kvg
