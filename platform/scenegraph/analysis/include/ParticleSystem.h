#pragma once
// Particles released from seed points and carried by velocity fields.
//
// Every seed owns a ring of particle slots. Each frame the live particles move along the
// flow for the frame's time step (Runge-Kutta 4 through the field that holds their seed),
// then the next `emission` slots of every seed are (re-)emitted at the seed. A particle that
// leaves its field goes dark until its slot comes round again, so every seed keeps releasing
// an evenly spaced stream and no particle lives longer than slots / emission frames.
#include "AnalysisValues.h"

#include <memory>
#include <vector>

class vtkPolyData;

namespace kvg {
namespace analysis {

class VectorField;

class ParticleSystem {
 public:
  struct Particle {
    double position[3];
    float speed;
    bool alive;
  };
  struct Group {
    Point3 seed;
    int field;  // index into the fields, -1 when no field holds the seed
    int next;   // next slot to emit
    bool moving;
    std::vector<Particle> particles;
  };

  ParticleSystem();

  // The fields the particles move through; re-resolves which field holds each seed.
  void setFields(std::vector<std::shared_ptr<const VectorField>> fields);
  const std::vector<std::shared_ptr<const VectorField>>& fields() const { return _fields; }

  // The seeds, in order. A seed equal (exactly) to one already present keeps its particles;
  // new seeds start empty; groups of seeds no longer present are dropped. The seed at
  // `movingIndex` (if any) may instead take over the previous moving seed's particles, which
  // then keep flowing while new ones leave from the new position.
  void setSeeds(const std::vector<Point3>& seeds, int movingIndex = -1);
  std::vector<Point3> seeds() const;

  // Slots per seed (at least 1); changing it restarts every seed.
  void setParticlesPerSeed(int count);
  int particlesPerSeed() const { return _perSeed; }
  // Particles emitted per seed and frame (at least 1).
  void setEmissionPerFrame(int count);
  int emissionPerFrame() const { return _emission; }

  // All particles dark, every seed's ring back at slot 0.
  void reset();
  // One frame: moves the live particles for the time dt, then emits.
  void step(double dt);

  // Points of the live particles with a point array "speed" (active scalars) and one vertex
  // cell per point.
  void fillPolyData(vtkPolyData* output) const;
  size_t aliveCount() const;
  const std::vector<Group>& groups() const { return _groups; }

  // Takes seeds, particles and settings of another system, keeping this system's fields.
  void copyStateFrom(const ParticleSystem& other);

 private:
  int fieldIndexFor(const Point3& p) const;
  // Which field holds each seed; a seed that changed field starts over.
  void resolveFields();
  Group makeGroup(const Point3& seed) const;

  std::vector<std::shared_ptr<const VectorField>> _fields;
  std::vector<Group> _groups;
  int _perSeed;
  int _emission;
};

}  // namespace analysis
}  // namespace kvg
