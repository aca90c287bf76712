// Any bytes as a data file a scene names, through the scene loader's reading of data files:
// the checks of the file's counts, sizes and offsets, the parallel unstructured grid reader and
// VTK's readers behind it, and the checks of the data read. Built once for each file kind
// (DATA_FILE_EXTENSION); every input gives a node or a reason, within the fuzzer's memory limit.
#include <unistd.h>
#include <vtkObject.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Logger.h"
#include "Properties.h"
#include "SceneDataLoader.h"

namespace {

const std::string& folder() {
  static const std::string dir = [] {
    char name[] = "/tmp/quonix-fuzz-data-XXXXXX";
    if (!::mkdtemp(name)) std::abort();
    vtkObject::GlobalWarningDisplayOff();
    return std::string(name);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = std::string("data") + DATA_FILE_EXTENSION;
  const std::string path = folder() + "/" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  Properties drawable;
  drawable.set("data", name);
  SceneDataLoader loader(folder());
  std::string error;
  const bool volume = std::string(DATA_FILE_EXTENSION) == ".vti";
  kvg::Ptr<kvg::Node> node =
      loader.load(drawable, "data", volume ? SceneDataLoader::ImageData : SceneDataLoader::AnyData, error);
  if (!node && error.empty()) std::abort();  // a refusal always names its reason
  return 0;
}
