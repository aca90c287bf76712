// Any bytes into the shared state's reader: what is accepted writes back the very same bytes.
#include <vtkNew.h>
#include <vtkUnsignedCharArray.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kvg/VRSharedState.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvg::VRSharedState state;
  if (!kvg::VRSharedState::fromBytes(data, size, state)) return 0;
  vtkNew<vtkUnsignedCharArray> array;
  state.fillArray(array);
  if (size_t(array->GetNumberOfTuples()) != size || std::memcmp(array->GetPointer(0), data, size) != 0) std::abort();
  return 0;
}
