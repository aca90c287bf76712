#include "SceneLibrary.h"

#include <cmath>
#include <limits.h>
#include <stdlib.h>

#include "StringHelper.h"
#include "kvg/SDBReader.h"

namespace {

std::string absolutePath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

// One part of each kind the part widgets edit, around the square.
std::vector<Properties> generatedParts() {
  auto part = [](const char* name, const char* kind, double size,
                 std::vector<std::pair<const char*, std::vector<double>>> geometry) {
    Properties p;
    p.set("type", "Part");
    p.set("part", kind);
    p.set("name", name);
    p.set("size", size);
    for (auto& entry : geometry) p.set(entry.first, entry.second);
    return p;
  };
  return {part("PointPart 1", "PointPart", 0.15, {{"position", {-0.8, 0.5, 0.0}}}),
          part("LinePart 1", "LinePart", 0.1, {{"point1", {0.5, 0.5, 0.0}}, {"point2", {0.9, 0.8, 0.0}}}),
          part("PlaneSection 1", "PlaneSection", 0.8, {{"origin", {0.0, 0.0, 0.3}}, {"normal", {0.0, 0.0, 1.0}}}),
          part("PlaneProbePart 1", "PlaneProbePart", 0.1,
               {{"point1", {-0.9, -0.5, 0.0}}, {"point2", {-0.5, -0.8, 0.0}}, {"origin", {-0.9, -0.8, 0.0}}})};
}

}  // namespace

ServedScene& SceneLibrary::add(const std::string& wanted) {
  std::string name = wanted;
  for (int n = 2; findByName(name); ++n) name = wanted + " (" + std::to_string(n) + ")";
  ServedScene scene;
  scene.name = name;
  scene.key = "SceneCanvas_" + std::to_string(_scenes.size() + 1);
  _scenes.push_back(std::move(scene));
  return _scenes.back();
}

bool SceneLibrary::addFile(const std::string& path, std::string& error, std::vector<std::string>* warnings) {
  kvg::SDBReader reader;
  const int opened = reader.open(StringHelper::toWString(path));
  if (opened != kvg::SDBReader::Opened) {
    error = "cannot serve scene file " + path + ": " +
            (opened == kvg::SDBReader::BeingWritten ? std::string("the file is still being written")
                                                    : reader.getLastError());
    return false;
  }
  // Build every scene first, so a file with a faulty frame adds nothing.
  std::vector<ServedScene> built;
  for (int set = 0; set < reader.getFramesetCount(); ++set) {
    ServedScene scene;
    scene.name = reader.getFramesetTitle(set);
    scene.source = absolutePath(path);
    if (reader.getFrameCount(set) == 0) {
      if (warnings) warnings->push_back("frame set '" + scene.name + "' of " + path + " has no frames; not served");
      continue;
    }
    for (int frame = 0; frame < reader.getFrameCount(set); ++frame) {
      Properties record;
      if (!reader.makeSelfContainedRecord(set, frame, record)) {
        error = "cannot serve scene file " + path + ": frame set '" + scene.name + "', frame " +
                std::to_string(frame) + ": " + reader.getLastError();
        return false;
      }
      scene.frames.push_back(std::move(record));
    }
    built.push_back(std::move(scene));
  }
  for (ServedScene& scene : built) {
    ServedScene& served = add(scene.name);
    served.source = scene.source;
    served.frames = std::move(scene.frames);
    // The canvas a viewer builds carries the key it asked the server for.
    for (Properties& record : served.frames) record.set("CanvasKey", served.key);
  }
  return true;
}

void SceneLibrary::addGenerated(const std::string& name, int frameCount) {
  ServedScene& scene = add(name);
  if (frameCount < 1) frameCount = 1;
  Properties canvas;
  canvas.set("title", scene.name);
  canvas.set("background", std::vector<double>{0.1, 0.1, 0.15});
  Properties camera;
  camera.set("position", std::vector<double>{0.0, 1.5, 4.0});
  camera.set("focalPoint", std::vector<double>{0.0, 0.0, 0.0});
  for (int i = 0; i < frameCount; ++i) {
    // A sphere circling a fixed cube: every frame looks different.
    const double angle = 2.0 * M_PI * i / frameCount;
    Properties sphereBase;
    sphereBase.set("color", std::vector<double>{0.2, 0.5 + 0.5 * i / frameCount, 0.8});
    Properties sphere;
    sphere.set("type", "Sphere");
    sphere.set("center", std::vector<double>{std::cos(angle), 0.0, std::sin(angle)});
    sphere.set("radius", 0.25);
    sphere.set("base", sphereBase);
    Properties cubeData;
    cubeData.set("points", std::vector<double>{-0.3, -0.3, 0, 0.3, -0.3, 0, 0.3, 0.3, 0, -0.3, 0.3, 0});
    cubeData.set("polys", std::vector<double>{4, 0, 1, 2, 3});
    Properties squareBase;
    squareBase.set("color", std::vector<double>{0.9, 0.6, 0.2});
    Properties square;
    square.set("type", "Surface");
    square.set("name", "Square Boundary");
    square.set("data", cubeData);
    square.set("base", squareBase);
    Properties drawables;
    drawables.set("square", square);
    drawables.set("ball", sphere);
    for (const Properties& part : generatedParts()) drawables.set(part.getString("name"), part);
    Properties content;
    content.set("description", "step " + std::to_string(i));
    content.set("time", 0.1 * i);
    content.set("drawables", drawables);
    Properties record;
    record.set("Title", scene.name);
    record.set("Description", "step " + std::to_string(i));
    record.set("Time", 0.1 * i);
    record.set("FrameSet", int64_t(0));
    record.set("Frame", int64_t(i));
    record.set("CanvasKey", scene.key);
    record.set("Canvas", canvas);
    record.set("Camera", camera);
    record.set("FrameContent", content);
    scene.frames.push_back(record);
  }
}

std::vector<std::string> SceneLibrary::names() const {
  std::vector<std::string> out;
  for (const ServedScene& s : _scenes) out.push_back(s.name);
  return out;
}

const ServedScene* SceneLibrary::findByName(const std::string& name) const {
  for (const ServedScene& s : _scenes)
    if (s.name == name) return &s;
  return nullptr;
}

const ServedScene* SceneLibrary::findByKey(const std::string& key) const {
  for (const ServedScene& s : _scenes)
    if (s.key == key) return &s;
  return nullptr;
}
