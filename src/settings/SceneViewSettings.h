#pragma once
// The scene view's settings record: the values of the desktop settings dialog and a few
// configuration values read when the view is built. Only SceneView writes it; readers on
// other threads take a copy through SceneView::settingsSnapshot().
#include <string>

struct SceneViewSettings {
  double volumeRenderingQuality = 0.5;
  bool accurateVolumeClipping = false;
  bool swapLeftRight = false;
  bool preserveOrientation = false;
  double floorTexScale = 1.0;  // only values above 0 are taken
  double ceilTexScale = 1.0;   // only values above 0 are taken
  int particleCount = 1024;
  int particlesPerFrame = 1;
  double hudSize = 0.35;
  double hudDist = 0.3;
  double isoSurfaceOpacity = 0.1;
  double snappingAngle = 15.0;
  // The settings dialog's own defaults until it hands its values over (0 would refuse every zoom).
  double sceneMinificationFactor = 1.0 / 20.0;  // reciprocal of the user's minification limit
  double sceneMagnificationLimit = 20000.0;
  std::string floorTexFileName;  // UTF-8 local path
  std::string ceilTexFileName;   // UTF-8 local path
};
