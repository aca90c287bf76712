// Any bytes into the client state's reader: refused or read without reading past the end; what
// is read writes a message of its announced length that reads back.
#include <vtkNew.h>
#include <vtkUnsignedCharArray.h>

#include <cstdint>
#include <cstdlib>

#include "VRClientState.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvg::VRClientState state;
  if (!kvg::VRClientState::fromBytes(data, size, state)) return 0;
  vtkNew<vtkUnsignedCharArray> array;
  state.fillArray(array);
  if (size_t(array->GetNumberOfTuples()) != state.byteSize()) std::abort();
  kvg::VRClientState again;
  if (!kvg::VRClientState::fromBytes(array->GetPointer(0), size_t(array->GetNumberOfTuples()), again)) std::abort();
  return 0;
}
