#pragma once
// Pipeline helpers for the analysis objects.
//
// The program may install a freezable executive as VTK's default, which makes pipeline
// updates on the render thread do nothing after the first frame. The analysis objects
// recompute their results on the thread that draws them (an interactive plane section
// follows the controller every frame), so every algorithm they create gets a plain
// executive of its own and every data object they draw is fed through a producer that
// they own.
#include <vtkSmartPointer.h>

class vtkAlgorithm;
class vtkDataObject;
class vtkTrivialProducer;

namespace kvg {
namespace analysis {

// Gives the algorithm a fresh vtkCompositeDataPipeline, whatever the default prototype is.
void UseOwnExecutive(vtkAlgorithm* algorithm);

// VTK's own mappers also run helper pipelines while they draw (the GPU ray caster builds the
// proxy geometry of a volume that way, on the first draw and whenever the camera is inside the
// volume), and those get the default executive: frozen, they leave their output empty and the
// mapper reads past it. A program whose default executive freezes updates per thread registers
// here how to lift that on the calling thread: `thaw` lifts it and returns the previous state,
// `restore` puts that back. Register once at start-up, before anything is drawn.
void SetThreadThaw(bool (*thaw)(), void (*restore)(bool previous));

// While it lives, pipeline updates on the calling thread run, through the registered thaw
// (nothing to lift without one).
class ThawedUpdates {
 public:
  ThawedUpdates();
  ~ThawedUpdates();
  ThawedUpdates(const ThawedUpdates&) = delete;
  ThawedUpdates& operator=(const ThawedUpdates&) = delete;

 private:
  void (*_restore)(bool) = nullptr;
  bool _previous = false;
};

// A trivial producer with its own executive whose output is `data`.
vtkSmartPointer<vtkTrivialProducer> MakeProducer(vtkDataObject* data);

// Connects `data` to input port 0 of `consumer` through a producer with its own executive.
void ConnectData(vtkAlgorithm* consumer, vtkDataObject* data);

}  // namespace analysis
}  // namespace kvg
