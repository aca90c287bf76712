#pragma once
// The volume renderer of a drawable session: volume rendering of the session's volumes, plane
// sections through them (persistent ones and one interactive), iso-surfaces of their scalar
// fields (persistent ones and one interactive), and the queries the tools ask about the
// volumes (bounds, scalar range, lookup table, the volume at a point).
//
// Threads: the setters and getters may be called from any thread (the settings dialog changes
// both sessions' managers from the GUI thread); they only record the request under the
// manager's mutex. The VTK props are brought up to date by the thread that renders them, at the
// start of each render of a renderer the manager is attached to.
#include "AnalysisValues.h"
#include "SimplePlaneSection.h"
#include "VolumeSource.h"

#include <vtkSmartPointer.h>
#include <vtkWeakPointer.h>

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class vtkLookupTable;
class vtkPlaneCollection;
class vtkProp;
class vtkRenderer;
class vtkVolume;

namespace kvg {

class DrawableScene;
class DrawableSession;

namespace analysis {
class AnalysisAssembly;
class VolumeVisual;
}  // namespace analysis

class VolumeRenderingManager {
 public:
  // The answer of findClosestProp.
  struct ClosestProp {
    bool found = false;
    vtkProp* prop = nullptr;     // the volume's prop in the asked renderer (null when not drawn there)
    std::string fieldName;       // the volume's scalar field
    std::string volumeName;      // the volume's name
    double distance = 0.0;       // from the point to the volume's box (0 inside)
  };

  VolumeRenderingManager();
  ~VolumeRenderingManager();
  // Takes the other manager's settings, plane sections and iso values; the volumes and the
  // props stay this manager's own (they belong to this manager's session and GL context).
  VolumeRenderingManager& operator=(const VolumeRenderingManager& other);
  VolumeRenderingManager(const VolumeRenderingManager&) = delete;

  // Settings.
  void setVRMode(bool on);
  bool getVRMode() const;
  void setEnableVolRend(bool on);
  bool getEnableVolRend() const;
  // 0.1 (coarse, fast) .. 1.0 (fine); clamped.
  void setVolRendQuality(double quality);
  double getVolRendQuality() const;
  // Accurate clipping of the volumes by the clip planes. VTK's ray caster clips every sample
  // against the planes, so clipping is exact with either value; the flag is kept for callers.
  void setUseStencilClipping(bool on);
  bool getUseStencilClipping() const;
  void setIsosurfaceOpacity(double opacity);
  double getIsosurfaceOpacity() const;
  void setLocalLightingForVRIsosurfaces(bool on);
  bool getLocalLightingForVRIsosurfaces() const;
  void setUseNoisyStartPosition(bool on);
  bool getUseNoisyStartPosition() const;

  // Plane sections. A section whose origin holds kvg::NoValue draws nothing.
  void setPersistentPlaneSections(const std::vector<SimplePlaneSection>& sections);
  std::vector<SimplePlaneSection> getPersistentPlaneSections() const;
  void setInteractivePlaneSection(const SimplePlaneSection& section);
  SimplePlaneSection getInteractivePlaneSection() const;
  // No persistent sections and no interactive one.
  void clearPlaneSections();

  // Iso values {field name, value}: one iso-surface per value on every volume whose scalar field
  // has that name. A value of kvg::NoValue (or an empty name) draws nothing.
  void setPersistentIsoValues(const IsoValueList& values);
  IsoValueList getPersistentIsoValues() const;
  void setInteractiveIsoValue(const IsoValue& value);
  IsoValue getInteractiveIsoValue() const;
  // No persistent iso values; the interactive one becomes {"", NoValue}.
  void clearIsoValues();

  // Volumes. Those of a drawable scene are drawn in the renderer attached for that scene; the
  // queries below look at the volumes of every scene. setVolumes sets the volumes of no scene
  // (drawn in renderers attached without one).
  void setVolumes(const std::vector<VolumeSource>& volumes);
  void setSceneVolumes(const void* scene, const std::vector<VolumeSource>& volumes);
  void removeScene(const void* scene);
  bool hasVolumes() const;
  size_t volumeCount() const;
  // The bounds (xmin, xmax, ymin, ymax, zmin, zmax) of every volume (of the scene), in order.
  std::vector<std::array<double, 6>> getBounds() const;
  std::vector<std::array<double, 6>> getBounds(DrawableScene& scene) const;
  std::vector<std::array<double, 6>> getSceneBounds(const void* scene) const;
  // The scalar range of the volume holding p; false (min, max untouched) when none does.
  bool getScalarRange(const double p[3], double& min, double& max) const;
  // The colour table of the volume holding p (null when none does), or of the first volume.
  vtkLookupTable* getLookupTable(const double p[3]) const;
  vtkLookupTable* getLookupTable() const;
  // The volume holding p. The prop is the volume's prop in `renderer` (or in the first renderer
  // the manager is attached to when null).
  ClosestProp findClosestProp(const double p[3], vtkRenderer* renderer = nullptr) const;
  ClosestProp findClosestProp(const double p[3], DrawableScene& scene) const;

  // Drawing: the manager's props for the scene's volumes go into the renderer (idempotent);
  // they update themselves at every render of it. With `clipPlanes`, every actor and volume of
  // the renderer is clipped by the first six of them, refreshed at every render. Call on the
  // thread that renders the renderer.
  void attachRenderer(vtkRenderer* renderer, const void* scene = nullptr, vtkPlaneCollection* clipPlanes = nullptr);
  void detachRenderer(vtkRenderer* renderer);
  // The prop holding everything drawn in `renderer`, null when not attached.
  vtkProp* getRenderProp(vtkRenderer* renderer) const;
  // Brings the props in `renderer` up to date now rather than at its next render (the thread
  // that renders it, its context current).
  void prepareRenderer(vtkRenderer* renderer);
  // What a renderer shows (for tests and inspectors): brings its props up to date first.
  analysis::VolumeVisual* visualFor(vtkRenderer* renderer, size_t volumeIndex);

  static VolumeRenderingManager& getSingleton(DrawableSession& session);
  static VolumeRenderingManager& getSingleton(DrawableSession* session);

 private:
  struct Settings {
    bool vrMode = false;
    bool enabled = false;
    double quality = 0.5;
    bool stencilClipping = true;
    double isoOpacity = 0.1;
    bool localLighting = true;
    bool noisyStart = false;
  };
  struct PreparedVolume {
    VolumeSource original;  // as handed over: identifies the volume
    VolumeSource source;    // with image data, array names and table
  };
  struct Group {
    const void* scene = nullptr;
    std::vector<PreparedVolume> volumes;
    unsigned long version = 1;
  };
  struct View;

  void prepare(View& view);
  // Under _mutex: the volume holding p, or null; with its group.
  const PreparedVolume* volumeAt(const double p[3], const Group** group = nullptr, size_t* index = nullptr) const;
  const Group* groupOf(const void* scene) const;

  mutable std::mutex _mutex;
  Settings _settings;
  std::vector<SimplePlaneSection> _persistentSections;
  SimplePlaneSection _interactiveSection;
  IsoValueList _persistentIsoValues;
  IsoValue _interactiveIsoValue;
  std::vector<Group> _groups;
  unsigned long _nextVersion;
  std::vector<std::unique_ptr<View>> _views;
};

}  // namespace kvg
