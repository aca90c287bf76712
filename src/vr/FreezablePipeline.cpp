#include "FreezablePipeline.h"

#include <vtkAlgorithm.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>

#include "AnalysisPipeline.h"

vtkStandardNewMacro(FreezablePipeline);

namespace {
thread_local bool tlFrozen = false;
}  // namespace

bool FreezablePipeline::IsThreadFrozen() { return tlFrozen; }
void FreezablePipeline::SetThreadFrozen(bool frozen) { tlFrozen = frozen; }

void FreezablePipeline::InstallAsDefault() {
  vtkNew<FreezablePipeline> prototype;
  vtkAlgorithm::SetDefaultExecutivePrototype(prototype);
  kvg::analysis::SetThreadThaw(
      [] {
        const bool frozen = tlFrozen;
        tlFrozen = false;
        return frozen;
      },
      [](bool previous) { tlFrozen = previous; });
}

vtkTypeBool FreezablePipeline::Update() { return tlFrozen ? 1 : vtkCompositeDataPipeline::Update(); }

vtkTypeBool FreezablePipeline::Update(int port) { return tlFrozen ? 1 : vtkCompositeDataPipeline::Update(port); }

vtkTypeBool FreezablePipeline::UpdateWholeExtent() {
  return tlFrozen ? 1 : vtkCompositeDataPipeline::UpdateWholeExtent();
}

vtkTypeBool FreezablePipeline::Update(int port, vtkInformationVector* requests) {
  return tlFrozen ? 1 : vtkCompositeDataPipeline::Update(port, requests);
}

void FreezablePipeline::PrintSelf(ostream& os, vtkIndent indent) {
  vtkCompositeDataPipeline::PrintSelf(os, indent);
  os << indent << "ThreadFrozen: " << (tlFrozen ? "true" : "false") << "\n";
}

RestoreThreadFlag::RestoreThreadFlag(bool frozen) : _saved(tlFrozen) { tlFrozen = frozen; }
RestoreThreadFlag::~RestoreThreadFlag() { tlFrozen = _saved; }
