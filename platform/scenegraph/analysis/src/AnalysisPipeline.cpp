#include "AnalysisPipeline.h"

#include <vtkAlgorithm.h>
#include <vtkCompositeDataPipeline.h>
#include <vtkDataObject.h>
#include <vtkTrivialProducer.h>

namespace kvg {
namespace analysis {

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
