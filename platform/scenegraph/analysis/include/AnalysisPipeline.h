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

// A trivial producer with its own executive whose output is `data`.
vtkSmartPointer<vtkTrivialProducer> MakeProducer(vtkDataObject* data);

// Connects `data` to input port 0 of `consumer` through a producer with its own executive.
void ConnectData(vtkAlgorithm* consumer, vtkDataObject* data);

}  // namespace analysis
}  // namespace kvg
