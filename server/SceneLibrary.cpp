#include "SceneLibrary.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits.h>

namespace {

std::string baseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name.empty() ? path : name;
}

std::string absolutePath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

}  // namespace

ServedScene& SceneLibrary::add(const std::string& wanted) {
  std::string name = wanted;
  for (int n = 2; findByName(name); ++n) name = wanted + " (" + std::to_string(n) + ")";
  ServedScene scene;
  scene.name = name;
  scene.key = "Canvas_" + std::to_string(_scenes.size() + 1);
  _scenes.push_back(std::move(scene));
  return _scenes.back();
}

bool SceneLibrary::addFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read scene file " + path + ": " + std::strerror(errno);
    return false;
  }
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0 || size_t(size) > MAX_FILE_SIZE) {
    error = "scene file " + path + " is larger than " + std::to_string(MAX_FILE_SIZE) + " bytes";
    return false;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read scene file " + path;
    return false;
  }
  ServedScene& scene = add(baseName(path));
  scene.source = absolutePath(path);
  Properties record;
  record.set("Title", scene.name);
  record.set("SceneFile", scene.source);
  record.set("Text", text);
  scene.frames.push_back(record);
  return true;
}

void SceneLibrary::addGenerated(const std::string& name, int frameCount) {
  ServedScene& scene = add(name);
  if (frameCount < 1) frameCount = 1;
  for (int i = 0; i < frameCount; ++i) {
    // A sphere circling the origin: every frame looks different.
    const double angle = 2.0 * M_PI * i / frameCount;
    Properties sphere;
    sphere.set("Type", "Sphere");
    sphere.set("Center", std::vector<double>{std::cos(angle), 0.0, std::sin(angle)});
    sphere.set("Radius", 0.25);
    sphere.set("colorRGB", std::vector<double>{0.2, 0.5 + 0.5 * i / frameCount, 0.8});
    Properties drawables;
    drawables.set("Sphere_1", sphere);
    Properties record;
    record.set("Title", scene.name + ", frame " + std::to_string(i));
    record.set("Time", 0.1 * i);
    record.set("Drawables", drawables);
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
