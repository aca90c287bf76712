#pragma once
// The room around the model: a square floor, four walls and a ceiling, drawn in the render
// window's background layer with their own textures and fog colours. Built at the VR start-up
// of a scene, rebuilt when the settings pick other textures or scales, and moved with the
// model placement every frame (offset by the origin that fly navigation changes). Used by the
// thread that drives its interaction state.
#include <string>

#include <vtkSmartPointer.h>

#include "OpenVRActor.h"
#include "OpenVRTexture.h"

class IconTextureCache;
class vtkAppendPolyData;
class vtkPlaneSource;
class vtkRenderer;
class vtkTextureMapToPlane;
struct SceneViewSettings;

class Environment {
 public:
  Environment();
  ~Environment();
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  // Full build at the VR start-up (textures as the settings name them, no fallback).
  void buildEnvironment(vtkRenderer* renderer, IconTextureCache* cache, const SceneViewSettings& settings);
  // Rebuild of geometry and textures (a missing texture takes "defaultTexFileName").
  void build(vtkRenderer* renderer, IconTextureCache* cache, const SceneViewSettings& settings);
  // True when the settings name other textures or scales than the room was built with.
  bool differsFrom(const SceneViewSettings& settings) const;

  void setVisible(bool visible);
  bool isVisible() const;
  // Per frame: both actors shown as `shown`; a shown room is placed at model x T(origin).
  void followPose(const double modelMatrix[16], bool shown);
  // origin += offset; true.
  bool translate(const double offset[3]);
  void setPosition(const double origin[3]);
  const double* getPosition() const { return _origin; }
  // The other room's origin; both actors take its shown flag.
  void copyStateFrom(const Environment& other);

  OpenVRActor* ceilingActor() const { return _actors[0]; }
  OpenVRActor* floorActor() const { return _actors[1]; }

 private:
  struct PlanePair {
    vtkPlaneSource* plane;
    vtkTextureMapToPlane* map;
  };

  void buildPlanes(double floorScale, double ceilingScale, int floorW, int floorH, int ceilW, int ceilH);
  // The settings' textures (or the fallback file for a missing one), names, scales and planes.
  void applySettings(IconTextureCache* cache, const SceneViewSettings& settings, const std::string& fallback);

  PlanePair _planes[6];
  double _origin[3] = {0.0, 0.0, 0.0};
  bool _shown = true;
  std::string _floorTexture;
  std::string _ceilingTexture;
  double _floorScale = 0.0;
  double _ceilingScale = 0.0;
  vtkAppendPolyData* _append;
  vtkSmartPointer<OpenVRActor> _actors[2];  // 0: ceiling and walls, 1: floor
  bool _built = false;
};
