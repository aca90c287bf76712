#pragma once
// Particle tracing of a drawable session: seeds (placed by this user, by the other participants
// of a collaborative session, and one interactive seed that follows the seed tool), particles
// released from them and carried through the volumes' velocity fields every frame, drawn as
// small spheres coloured by speed, and the flow queries the seed tools ask.
//
// The advection runs once per frame, when the rendering trigger prop (which sits in the model
// renderer) is drawn; `stepLength` is the frame's time step and `pointRadius` the sphere
// radius, both written directly by the interaction every frame on the render thread. Every other member takes the manager's mutex,
// so calls may come from any thread.
#include "AnalysisValues.h"
#include "VolumeSource.h"

#include <vtkSmartPointer.h>

#include <memory>
#include <mutex>
#include <random>
#include <vector>

class vtkPolyData;
class vtkProp;

namespace kvg {

class DrawableScene;
class DrawableSession;

namespace analysis {
class ParticleRenderProp;
class ParticleSystem;
class VectorField;
}  // namespace analysis

class ParticleAdvectionManager {
 public:
  struct Seed {
    Point3 position;
    Point3 direction;
  };

  ParticleAdvectionManager();
  ~ParticleAdvectionManager();
  // Takes the other manager's settings, seeds and particles; the fields and the drawing stay
  // this manager's own (they belong to its session).
  ParticleAdvectionManager& operator=(const ParticleAdvectionManager& other);
  ParticleAdvectionManager(const ParticleAdvectionManager&) = delete;

  // Time step of one frame (model time units) and sphere radius (model units).
  double stepLength;
  float pointRadius;

  // Particles per seed (the ring of slots each seed re-emits), and particles released per seed
  // and frame. Both at least 1.
  void setParticleCount(int count);
  int getParticleCount() const;
  void setNumParticlesPerFrame(int count);
  int getNumParticlesPerFrame() const;

  // This user's seeds, in the order they were added.
  void addSeedPosition(const double position[3]);
  // Removes seed `index`; an index out of range changes nothing.
  void removeSeedPosition(int index);
  std::vector<Point3> getSeedPositions() const;
  // No seeds of this user and no interactive seed.
  void clearSeeds();

  // The seed that follows the seed tool; kvg::NoValue in any component means none.
  void setInteractiveSeedPosition(const double position[3]);
  Point3 getInteractiveSeedPosition() const;
  void getInteractiveSeedPosition(double position[3]) const;

  // Seeds of the other participants (re-applied every frame).
  void addCollaborativeClientSeed(const Seed& seed);
  void addCollaborativeClientSeed(const double position[3], const double direction[3]);
  void clearCollaborativeClientSeeds();
  std::vector<Seed> getCollaborativeClientSeeds() const;

  // Every particle dark; the seeds start releasing again.
  void resetParticles();
  size_t getNumberOfParticles() const;

  // Median velocity magnitude over the grid of the first volume with a velocity field (0 when
  // there is none).
  double computeMedianMagnitude() const;
  // True when p lies inside a (resampled) volume where the velocity has a value.
  bool checkInsideResampledVolume(const double p[3]) const;
  // The velocity at p (not normalised); false and kvg::NoValue in all three components when
  // there is none.
  bool getDirection(const double p[3], double direction[3]) const;
  // The first point with flow on the ray from origin along rayDirection, tried at `maxSamples`
  // evenly spaced points from where the ray enters a volume (the origin itself when inside) to
  // where it leaves. Fills seed and direction (the velocity there).
  bool findSeedWithRayQuery(double seed[3], double direction[3], const double origin[3], const double rayDirection[3],
                            int maxSamples) const;
  bool findSeedWithRayQuery(double seed[3], double direction[3], const double origin[3], const double rayDirection[3],
                            DrawableScene& scene, int maxSamples) const;
  // A point with flow at random within 5% of the volume's diagonal of origin (`maxSamples` tries).
  bool findRandomSeed(double seed[3], double direction[3], const double origin[3], int maxSamples) const;
  bool findRandomSeed(double seed[3], double direction[3], const double origin[3], DrawableScene& scene,
                      int maxSamples) const;

  // The volumes whose velocity fields carry the particles (volumes without one are skipped).
  void setVolumes(const std::vector<VolumeSource>& volumes);
  bool hasField() const;

  // The prop that draws the particles and advances them once per render of its window.
  vtkProp* getRenderingTriggerProp();
  // One frame of advection without drawing; fills `particles` when given.
  void advanceFrame(vtkPolyData* particles = nullptr);

  static ParticleAdvectionManager& getSingleton(DrawableSession& session);
  static ParticleAdvectionManager& getSingleton(DrawableSession* session);

 private:
  struct Field {
    VolumeSource original;
    std::shared_ptr<analysis::VectorField> field;
  };

  const analysis::VectorField* fieldAt(const double p[3]) const;  // under _mutex

  mutable std::mutex _mutex;
  int _particleCount;
  int _particlesPerFrame;
  std::vector<Point3> _seeds;
  Point3 _interactiveSeed;
  std::vector<Seed> _clientSeeds;
  std::vector<Field> _fields;
  std::unique_ptr<analysis::ParticleSystem> _particles;
  vtkSmartPointer<analysis::ParticleRenderProp> _prop;
  mutable std::mt19937 _random;
};

}  // namespace kvg
