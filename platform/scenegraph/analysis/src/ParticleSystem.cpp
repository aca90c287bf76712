#include "ParticleSystem.h"

#include "VectorField.h"

#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkIdTypeArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cmath>

namespace kvg {
namespace analysis {

namespace {
float speedAt(const VectorField& field, const double p[3]) {
  double v[3];
  if (!field.sample(p, v)) return 0.0f;
  return static_cast<float>(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
}
}  // namespace

ParticleSystem::ParticleSystem() : _perSeed(1024), _emission(1) {}

void ParticleSystem::setFields(std::vector<std::shared_ptr<const VectorField>> fields) {
  _fields = std::move(fields);
  resolveFields();
}

void ParticleSystem::resolveFields() {
  for (Group& g : _groups) {
    const int f = fieldIndexFor(g.seed);
    if (f != g.field) {
      g.field = f;
      g.next = 0;
      for (Particle& p : g.particles) p.alive = false;
    }
  }
}

int ParticleSystem::fieldIndexFor(const Point3& p) const {
  for (size_t i = 0; i < _fields.size(); ++i) {
    if (_fields[i] && _fields[i]->contains(p.data())) return static_cast<int>(i);
  }
  return -1;
}

ParticleSystem::Group ParticleSystem::makeGroup(const Point3& seed) const {
  Group g;
  g.seed = seed;
  g.field = fieldIndexFor(seed);
  g.next = 0;
  g.moving = false;
  g.particles.resize(static_cast<size_t>(_perSeed));
  for (Particle& p : g.particles) {
    p.position[0] = seed[0];
    p.position[1] = seed[1];
    p.position[2] = seed[2];
    p.speed = 0.0f;
    p.alive = false;
  }
  return g;
}

void ParticleSystem::setSeeds(const std::vector<Point3>& seeds, int movingIndex) {
  std::vector<Group> old;
  old.swap(_groups);
  std::vector<bool> used(old.size(), false);
  _groups.reserve(seeds.size());
  for (size_t k = 0; k < seeds.size(); ++k) {
    const Point3& s = seeds[k];
    const bool moving = static_cast<int>(k) == movingIndex;
    size_t match = old.size();
    for (size_t i = 0; i < old.size(); ++i) {
      if (!used[i] && old[i].moving == moving && old[i].seed == s) {
        match = i;
        break;
      }
    }
    if (match == old.size() && moving) {
      for (size_t i = 0; i < old.size(); ++i) {
        if (!used[i] && old[i].moving) {
          match = i;
          break;
        }
      }
    }
    if (match < old.size()) {
      used[match] = true;
      Group g = std::move(old[match]);
      if (g.seed != s) {
        g.seed = s;
        const int f = fieldIndexFor(s);
        if (f != g.field) {
          g.field = f;
          for (Particle& p : g.particles) p.alive = false;
        }
      }
      _groups.push_back(std::move(g));
    } else {
      _groups.push_back(makeGroup(s));
      _groups.back().moving = moving;
    }
  }
}

std::vector<Point3> ParticleSystem::seeds() const {
  std::vector<Point3> result;
  result.reserve(_groups.size());
  for (const Group& g : _groups) result.push_back(g.seed);
  return result;
}

void ParticleSystem::setParticlesPerSeed(int count) {
  count = std::max(1, count);
  if (count == _perSeed) return;
  _perSeed = count;
  for (Group& g : _groups) {
    const bool moving = g.moving;
    g = makeGroup(g.seed);
    g.moving = moving;
  }
}

void ParticleSystem::setEmissionPerFrame(int count) { _emission = std::max(1, count); }

void ParticleSystem::reset() {
  for (Group& g : _groups) {
    g.next = 0;
    for (Particle& p : g.particles) p.alive = false;
  }
}

void ParticleSystem::step(double dt) {
  for (Group& g : _groups) {
    if (g.field < 0 || g.field >= static_cast<int>(_fields.size()) || !_fields[g.field]) continue;
    const VectorField& field = *_fields[g.field];
    for (Particle& p : g.particles) {
      if (!p.alive) continue;
      if (field.advect(p.position, dt)) {
        p.speed = speedAt(field, p.position);
      } else {
        p.alive = false;
      }
    }
    const int n = static_cast<int>(g.particles.size());
    const int emit = std::min(_emission, n);
    const float seedSpeed = speedAt(field, g.seed.data());
    for (int k = 0; k < emit; ++k) {
      Particle& p = g.particles[g.next];
      p.position[0] = g.seed[0];
      p.position[1] = g.seed[1];
      p.position[2] = g.seed[2];
      p.speed = seedSpeed;
      p.alive = true;
      g.next = (g.next + 1) % n;
    }
  }
}

size_t ParticleSystem::aliveCount() const {
  size_t n = 0;
  for (const Group& g : _groups) {
    for (const Particle& p : g.particles) n += p.alive ? 1 : 0;
  }
  return n;
}

void ParticleSystem::fillPolyData(vtkPolyData* output) const {
  const vtkIdType n = static_cast<vtkIdType>(aliveCount());
  vtkNew<vtkPoints> points;
  points->SetDataTypeToFloat();
  points->SetNumberOfPoints(n);
  vtkNew<vtkFloatArray> speed;
  speed->SetName("speed");
  speed->SetNumberOfTuples(n);
  vtkNew<vtkIdTypeArray> connectivity;
  connectivity->SetNumberOfTuples(n);
  vtkNew<vtkIdTypeArray> offsets;
  offsets->SetNumberOfTuples(n + 1);
  vtkIdType i = 0;
  for (const Group& g : _groups) {
    for (const Particle& p : g.particles) {
      if (!p.alive) continue;
      points->SetPoint(i, p.position);
      speed->SetValue(i, p.speed);
      connectivity->SetValue(i, i);
      offsets->SetValue(i, i);
      ++i;
    }
  }
  offsets->SetValue(n, n);
  vtkNew<vtkCellArray> verts;
  verts->SetData(offsets, connectivity);
  output->Initialize();
  output->SetPoints(points);
  output->SetVerts(verts);
  output->GetPointData()->SetScalars(speed);
}

void ParticleSystem::copyStateFrom(const ParticleSystem& other) {
  if (&other == this) return;
  _perSeed = other._perSeed;
  _emission = other._emission;
  _groups = other._groups;
  resolveFields();
}

}  // namespace analysis
}  // namespace kvg
