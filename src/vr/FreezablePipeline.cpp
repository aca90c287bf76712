#include "FreezablePipeline.h"

#include <vtkObjectFactory.h>

vtkStandardNewMacro(FreezablePipeline);

namespace {
thread_local bool tlFrozen = false;
}  // namespace

bool FreezablePipeline::IsThreadFrozen() { return tlFrozen; }
void FreezablePipeline::SetThreadFrozen(bool frozen) { tlFrozen = frozen; }

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
