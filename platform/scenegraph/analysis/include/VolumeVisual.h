#pragma once
// Everything drawn for one volume in one renderer: the volume rendering (GPU ray casting),
// the plane sections (slices coloured by the volume's scalars through its lookup table) and
// the iso-surfaces of its scalar field. All parts hang below one prop assembly.
//
// Results are cached: a section or iso value that is handed over again unchanged costs
// nothing, so the owner may pass its full lists every frame. Touched only by the thread that
// renders the renderer holding the assembly.
#include "SimplePlaneSection.h"

#include <vtkSmartPointer.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

class vtkActor;
class vtkGPUVolumeRayCastMapper;
class vtkImageData;
class vtkLookupTable;
class vtkPlaneCollection;
class vtkPolyData;
class vtkPropAssembly;
class vtkVolume;
class vtkVolumeProperty;
class vtkWindow;

namespace kvg {
namespace analysis {

class IsoSurfaceBuilder;
class PlaneSectionBuilder;

struct VolumeSettings {
  bool volumeRendering = false;  // draw the volume itself
  double quality = 0.5;          // 0.1 (coarse, fast) .. 1.0 (fine)
  bool vrMode = false;           // fixed sampling, no frame-rate driven coarsening
  bool noisyStart = false;       // jittered ray start positions
  double isoOpacity = 0.1;       // opacity of the iso-surfaces
  bool isoLighting = true;       // iso-surfaces lit (true) or flat (false)
  double volumeOpacity = 0.3;    // opacity of the densest part of the volume rendering
  // The rendered volume ends exactly at the clip planes (each sample tested), or at the
  // axis-aligned box around what the planes keep (cheaper; the cut shows as a box).
  bool preciseBounds = true;
};

class VolumeVisual {
 public:
  // `table` colours the scalar field; null gives the default table over the field's range.
  VolumeVisual(vtkImageData* volume, const std::string& scalarName, vtkLookupTable* table = nullptr);
  ~VolumeVisual();
  VolumeVisual(const VolumeVisual&) = delete;
  VolumeVisual& operator=(const VolumeVisual&) = delete;

  vtkImageData* data() const;
  const std::string& scalarName() const { return _scalarName; }
  vtkLookupTable* lookupTable() const;
  void getBounds(double bounds[6]) const;
  void getScalarRange(double range[2]) const;
  bool contains(const double p[3]) const;
  // Distance from p to the volume's box, 0 inside.
  double distanceTo(const double p[3]) const;

  // The assembly holding the volume, section and iso-surface props.
  vtkPropAssembly* assembly() const;
  vtkVolume* volume() const;

  void applySettings(const VolumeSettings& settings);
  // Clip planes for every part (the collection is used as it is, not copied). Call it again
  // after a plane moved: the volume's approximate bounds follow the planes' values.
  void setClippingPlanes(vtkPlaneCollection* planes);
  // The data-space box of whole cells the volume is drawn with while its bounds are
  // approximate; false when it is not cropped (precise bounds, no planes, nothing kept).
  bool croppedBox(double box[6]) const;

  // The window the parts draw in: parts that are dropped release their graphics resources
  // through it (call with its context current, as during a render), or leak them when null.
  void setRenderWindow(vtkWindow* window) { _window = window; }

  // The sections to draw, in order; "none" sections are skipped.
  void setPlaneSections(const std::vector<SimplePlaneSection>& sections);
  // The iso values to draw: {point array of the volume, value}. Values of arrays the volume
  // does not have are skipped. The surfaces take the colour of their value in the field's
  // table (the volume's table for its scalar field).
  void setIsoValues(const std::vector<std::pair<std::string, double>>& values);
  bool hasField(const std::string& name) const;

  size_t sectionCount() const { return _sections.size(); }
  vtkPolyData* sectionData(size_t i) const;
  vtkActor* sectionActor(size_t i) const;
  size_t isoCount() const { return _isos.size(); }
  vtkPolyData* isoData(size_t i) const;
  vtkActor* isoActor(size_t i) const;

 private:
  struct Section;
  struct Iso;
  std::unique_ptr<Section> makeSection(const SimplePlaneSection& s);
  std::unique_ptr<Iso> makeIso(const std::string& field, double value);
  void computeIso(Iso& iso);
  void updateVolumeClipping();
  void styleIso(Iso& iso);
  vtkLookupTable* tableFor(const std::string& field);
  template <class Entry, class Item, class Same, class Refill, class Make>
  void Reconcile(std::vector<std::unique_ptr<Entry>>& entries, const std::vector<Item>& wanted, Same same,
                 Refill refill, Make make);

  vtkSmartPointer<vtkImageData> _data;
  std::string _scalarName;
  vtkSmartPointer<vtkLookupTable> _table;
  vtkSmartPointer<vtkPropAssembly> _assembly;
  vtkSmartPointer<vtkVolume> _volume;
  vtkSmartPointer<vtkGPUVolumeRayCastMapper> _volumeMapper;
  vtkSmartPointer<vtkVolumeProperty> _volumeProperty;
  vtkSmartPointer<vtkPlaneCollection> _clipPlanes;
  std::unique_ptr<PlaneSectionBuilder> _sectionBuilder;
  std::map<std::string, std::unique_ptr<IsoSurfaceBuilder>> _isoBuilders;
  std::map<std::string, vtkSmartPointer<vtkLookupTable>> _fieldTables;
  std::vector<std::unique_ptr<Section>> _sections;
  std::vector<std::unique_ptr<Iso>> _isos;
  VolumeSettings _settings;
  bool _settingsApplied;
  std::vector<double> _cropKey;  // the extent in cells the volume is drawn with, while cropped
  bool _cropEmpty = false;       // the planes keep nothing of the volume
  bool _cropping = false;        // approximate bounds with planes: drawn through the box
  vtkSmartPointer<vtkImageData> _croppedData;  // the box's cells, when less than the whole
  vtkWindow* _window = nullptr;
};

}  // namespace analysis
}  // namespace kvg
