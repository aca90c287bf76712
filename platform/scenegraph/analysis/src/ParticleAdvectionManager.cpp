#include "ParticleAdvectionManager.h"

#include "ParticleRenderProp.h"
#include "ParticleSystem.h"
#include "VectorField.h"

#include <vtkBox.h>
#include <vtkImageData.h>
#include <vtkMath.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cmath>

namespace kvg {

namespace {
const Point3 kNoPoint = {NoValue, NoValue, NoValue};

bool isNoPoint(const double p[3]) { return isNoValue(p[0]) || isNoValue(p[1]) || isNoValue(p[2]); }

// A seed needs moving flow: true (seed and direction filled) where the field has a non-zero value.
bool takeSeed(const analysis::VectorField& field, const double p[3], double seed[3], double direction[3]) {
  double v[3];
  if (!field.sample(p, v) || !(vtkMath::Norm(v) > 0.0)) return false;
  for (int a = 0; a < 3; ++a) {
    seed[a] = p[a];
    direction[a] = v[a];
  }
  return true;
}
}  // namespace

ParticleAdvectionManager::ParticleAdvectionManager()
    : stepLength(0.01),
      pointRadius(0.005f),
      _particleCount(1024),
      _particlesPerFrame(1),
      _interactiveSeed(kNoPoint),
      _particles(new analysis::ParticleSystem),
      _random(0x5eed) {
  _particles->setParticlesPerSeed(_particleCount);
  _particles->setEmissionPerFrame(_particlesPerFrame);
}

ParticleAdvectionManager::~ParticleAdvectionManager() {
  if (_prop) _prop->SetFrameCallback(nullptr);
}

ParticleAdvectionManager& ParticleAdvectionManager::operator=(const ParticleAdvectionManager& other) {
  if (&other == this) return *this;
  std::scoped_lock lock(_mutex, other._mutex);
  stepLength = other.stepLength;
  pointRadius = other.pointRadius;
  _particleCount = other._particleCount;
  _particlesPerFrame = other._particlesPerFrame;
  _seeds = other._seeds;
  _interactiveSeed = other._interactiveSeed;
  _clientSeeds = other._clientSeeds;
  _particles->copyStateFrom(*other._particles);
  return *this;
}

void ParticleAdvectionManager::setParticleCount(int count) {
  std::lock_guard<std::mutex> lock(_mutex);
  _particleCount = std::max(1, count);
}

int ParticleAdvectionManager::getParticleCount() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _particleCount;
}

void ParticleAdvectionManager::setNumParticlesPerFrame(int count) {
  std::lock_guard<std::mutex> lock(_mutex);
  _particlesPerFrame = std::max(1, count);
}

int ParticleAdvectionManager::getNumParticlesPerFrame() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _particlesPerFrame;
}

void ParticleAdvectionManager::addSeedPosition(const double position[3]) {
  if (isNoPoint(position)) return;
  std::lock_guard<std::mutex> lock(_mutex);
  _seeds.push_back({position[0], position[1], position[2]});
}

void ParticleAdvectionManager::removeSeedPosition(int index) {
  std::lock_guard<std::mutex> lock(_mutex);
  if (index >= 0 && index < static_cast<int>(_seeds.size())) _seeds.erase(_seeds.begin() + index);
}

std::vector<Point3> ParticleAdvectionManager::getSeedPositions() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _seeds;
}

void ParticleAdvectionManager::clearSeeds() {
  std::lock_guard<std::mutex> lock(_mutex);
  _seeds.clear();
  _interactiveSeed = kNoPoint;
}

void ParticleAdvectionManager::setInteractiveSeedPosition(const double position[3]) {
  std::lock_guard<std::mutex> lock(_mutex);
  _interactiveSeed = isNoPoint(position) ? kNoPoint : Point3{position[0], position[1], position[2]};
}

Point3 ParticleAdvectionManager::getInteractiveSeedPosition() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _interactiveSeed;
}

void ParticleAdvectionManager::getInteractiveSeedPosition(double position[3]) const {
  const Point3 p = getInteractiveSeedPosition();
  position[0] = p[0];
  position[1] = p[1];
  position[2] = p[2];
}

void ParticleAdvectionManager::addCollaborativeClientSeed(const Seed& seed) {
  if (isNoPoint(seed.position.data())) return;
  std::lock_guard<std::mutex> lock(_mutex);
  _clientSeeds.push_back(seed);
}

void ParticleAdvectionManager::addCollaborativeClientSeed(const double position[3], const double direction[3]) {
  addCollaborativeClientSeed(Seed{{position[0], position[1], position[2]}, {direction[0], direction[1], direction[2]}});
}

void ParticleAdvectionManager::clearCollaborativeClientSeeds() {
  std::lock_guard<std::mutex> lock(_mutex);
  _clientSeeds.clear();
}

std::vector<ParticleAdvectionManager::Seed> ParticleAdvectionManager::getCollaborativeClientSeeds() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _clientSeeds;
}

void ParticleAdvectionManager::resetParticles() {
  std::lock_guard<std::mutex> lock(_mutex);
  _particles->reset();
}

size_t ParticleAdvectionManager::getNumberOfParticles() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _particles->aliveCount();
}

double ParticleAdvectionManager::computeMedianMagnitude() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _fields.empty() ? 0.0 : _fields.front().field->medianMagnitude();
}

const analysis::VectorField* ParticleAdvectionManager::fieldAt(const double p[3]) const {
  for (const Field& f : _fields) {
    if (f.field->contains(p)) return f.field.get();
  }
  return nullptr;
}

bool ParticleAdvectionManager::checkInsideResampledVolume(const double p[3]) const {
  std::lock_guard<std::mutex> lock(_mutex);
  return fieldAt(p) != nullptr;
}

bool ParticleAdvectionManager::getDirection(const double p[3], double direction[3]) const {
  std::lock_guard<std::mutex> lock(_mutex);
  const analysis::VectorField* field = fieldAt(p);
  if (field && field->sample(p, direction)) return true;
  direction[0] = direction[1] = direction[2] = NoValue;
  return false;
}

bool ParticleAdvectionManager::findSeedWithRayQuery(double seed[3], double direction[3], const double origin[3],
                                                    const double rayDirection[3], int maxSamples) const {
  std::lock_guard<std::mutex> lock(_mutex);
  const double n = vtkMath::Norm(rayDirection);
  if (!(n > 0.0) || maxSamples < 1) return false;
  const double dir[3] = {rayDirection[0] / n, rayDirection[1] / n, rayDirection[2] / n};
  for (const Field& f : _fields) {
    double b[6];
    f.field->getBounds(b);
    // Where the ray enters and leaves the volume's box.
    double tEnter = 0.0, tLeave = VTK_DOUBLE_MAX;
    bool misses = false;
    for (int a = 0; a < 3 && !misses; ++a) {
      if (dir[a] == 0.0) {
        misses = origin[a] < b[2 * a] || origin[a] > b[2 * a + 1];
        continue;
      }
      double t0 = (b[2 * a] - origin[a]) / dir[a], t1 = (b[2 * a + 1] - origin[a]) / dir[a];
      if (t0 > t1) std::swap(t0, t1);
      tEnter = std::max(tEnter, t0);
      tLeave = std::min(tLeave, t1);
      misses = tEnter > tLeave;
    }
    if (misses) continue;
    for (int i = 0; i < maxSamples; ++i) {
      const double t = maxSamples == 1 ? tEnter : tEnter + (tLeave - tEnter) * i / (maxSamples - 1);
      const double p[3] = {origin[0] + t * dir[0], origin[1] + t * dir[1], origin[2] + t * dir[2]};
      if (takeSeed(*f.field, p, seed, direction)) return true;
    }
  }
  return false;
}

bool ParticleAdvectionManager::findSeedWithRayQuery(double seed[3], double direction[3], const double origin[3],
                                                    const double rayDirection[3], DrawableScene&, int maxSamples) const {
  return findSeedWithRayQuery(seed, direction, origin, rayDirection, maxSamples);
}

bool ParticleAdvectionManager::findRandomSeed(double seed[3], double direction[3], const double origin[3],
                                              int maxSamples) const {
  std::lock_guard<std::mutex> lock(_mutex);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (const Field& f : _fields) {
    double b[6];
    f.field->getBounds(b);
    const double radius = 0.05 * std::sqrt((b[1] - b[0]) * (b[1] - b[0]) + (b[3] - b[2]) * (b[3] - b[2]) +
                                           (b[5] - b[4]) * (b[5] - b[4]));
    for (int i = 0; i < maxSamples; ++i) {
      double offset[3];
      do {
        for (double& o : offset) o = unit(_random);
      } while (vtkMath::Norm(offset) > 1.0);
      const double p[3] = {origin[0] + radius * offset[0], origin[1] + radius * offset[1], origin[2] + radius * offset[2]};
      if (takeSeed(*f.field, p, seed, direction)) return true;
    }
  }
  return false;
}

bool ParticleAdvectionManager::findRandomSeed(double seed[3], double direction[3], const double origin[3],
                                              DrawableScene&, int maxSamples) const {
  return findRandomSeed(seed, direction, origin, maxSamples);
}

void ParticleAdvectionManager::setVolumes(const std::vector<VolumeSource>& volumes) {
  std::vector<Field> fields;
  for (const VolumeSource& v : volumes) {
    bool reused = false;
    {
      std::lock_guard<std::mutex> lock(_mutex);
      for (const Field& f : _fields) {
        if (f.original.data == v.data && f.original.vectorName == v.vectorName && f.original.name == v.name) {
          fields.push_back(f);
          reused = true;
          break;
        }
      }
    }
    if (reused) continue;
    VolumeSource prepared;
    vtkSmartPointer<vtkImageData> image;
    if (!analysis::PrepareVolumeSource(v, prepared, image) || prepared.vectorName.empty()) continue;
    auto field = std::make_shared<analysis::VectorField>();
    if (!field->setImage(image, prepared.vectorName)) continue;
    fields.push_back(Field{v, field});
  }
  std::lock_guard<std::mutex> lock(_mutex);
  _fields = std::move(fields);
  std::vector<std::shared_ptr<const analysis::VectorField>> shared;
  for (const Field& f : _fields) shared.push_back(f.field);
  _particles->setFields(std::move(shared));
}

bool ParticleAdvectionManager::hasField() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return !_fields.empty();
}

vtkProp* ParticleAdvectionManager::getRenderingTriggerProp() {
  std::lock_guard<std::mutex> lock(_mutex);
  if (!_prop) {
    _prop = vtkSmartPointer<analysis::ParticleRenderProp>::New();
    _prop->SetFrameCallback([this](vtkPolyData* particles) { advanceFrame(particles); });
  }
  return _prop;
}

// Runs on the thread that renders the trigger prop (or the caller's).
void ParticleAdvectionManager::advanceFrame(vtkPolyData* particles) {
  std::lock_guard<std::mutex> lock(_mutex);
  std::vector<Point3> seeds = _seeds;
  for (const Seed& s : _clientSeeds) seeds.push_back(s.position);
  int moving = -1;
  if (!isNoPoint(_interactiveSeed.data())) {
    moving = static_cast<int>(seeds.size());
    seeds.push_back(_interactiveSeed);
  }
  _particles->setParticlesPerSeed(_particleCount);
  _particles->setEmissionPerFrame(_particlesPerFrame);
  _particles->setSeeds(seeds, moving);
  _particles->step(stepLength);
  if (particles) _particles->fillPolyData(particles);
  if (_prop) {
    _prop->SetRadius(pointRadius);
    const double median = _fields.empty() ? 0.0 : _fields.front().field->medianMagnitude();
    _prop->SetSpeedRange(0.0, median > 0.0 ? 2.0 * median : 1.0);
  }
}

}  // namespace kvg
