#include "AnalysisPipeline.h"

#include <vtkAlgorithm.h>
#include <vtkCompositeDataPipeline.h>
#include <vtkDataObject.h>
#include <vtkTrivialProducer.h>

#include <atomic>

namespace kvg {
namespace analysis {

namespace {
// Set once at start-up; read by every thread that draws.
std::atomic<bool (*)()> gThaw{nullptr};
std::atomic<void (*)(bool)> gRestore{nullptr};
}  // namespace

void SetThreadThaw(bool (*thaw)(), void (*restore)(bool previous)) {
  gRestore = thaw ? restore : nullptr;
  gThaw = restore ? thaw : nullptr;
}

ThawedUpdates::ThawedUpdates() {
  bool (*thaw)() = gThaw;
  if (!thaw) return;
  _restore = gRestore;
  _previous = thaw();
}

ThawedUpdates::~ThawedUpdates() {
  if (_restore) _restore(_previous);
}

void UseOwnExecutive(vtkAlgorithm* algorithm) {
  vtkNew<vtkCompositeDataPipeline> executive;
  algorithm->SetExecutive(executive);
}

vtkSmartPointer<vtkTrivialProducer> MakeProducer(vtkDataObject* data) {
  auto producer = vtkSmartPointer<vtkTrivialProducer>::New();
  UseOwnExecutive(producer);
  producer->SetOutput(data);
  return producer;
}

void ConnectData(vtkAlgorithm* consumer, vtkDataObject* data) {
  auto producer = MakeProducer(data);
  consumer->SetInputConnection(0, producer->GetOutputPort());
}

}  // namespace analysis
}  // namespace kvg
