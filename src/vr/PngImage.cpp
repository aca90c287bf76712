#include "PngImage.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <fstream>

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkDataArray.h>
#include <vtkPNGReader.h>
#include <vtkPointData.h>
#include <vtkUnsignedCharArray.h>

#include "FreezablePipeline.h"

namespace {

template <typename T>
unsigned char toByte(T value);
template <>
unsigned char toByte<unsigned char>(unsigned char value) {
  return value;
}
template <>
unsigned char toByte<unsigned short>(unsigned short value) {
  return static_cast<unsigned char>(value >> 8);
}

template <typename T>
void convertPixels(const T* in, int components, vtkIdType count, unsigned char* out) {
  for (vtkIdType i = 0; i < count; ++i, in += components, out += 4) {
    switch (components) {
      case 1: out[0] = out[1] = out[2] = toByte(in[0]); out[3] = 255; break;
      case 2: out[0] = out[1] = out[2] = toByte(in[0]); out[3] = toByte(in[1]); break;
      case 3: out[0] = toByte(in[0]); out[1] = toByte(in[1]); out[2] = toByte(in[2]); out[3] = 255; break;
      default: out[0] = toByte(in[0]); out[1] = toByte(in[1]); out[2] = toByte(in[2]); out[3] = toByte(in[3]); break;
    }
  }
}

}  // namespace

vtkSmartPointer<vtkImageData> ConvertToRgba8(vtkImageData* image) {
  if (!image) return nullptr;
  int dims[3];
  image->GetDimensions(dims);
  if (dims[0] <= 0 || dims[1] <= 0 || dims[2] <= 0) return nullptr;
  vtkDataArray* scalars = image->GetPointData() ? image->GetPointData()->GetScalars() : nullptr;
  if (!scalars) return nullptr;
  const int components = scalars->GetNumberOfComponents();
  const int type = scalars->GetDataType();
  if (components < 1 || components > 4 || (type != VTK_UNSIGNED_CHAR && type != VTK_UNSIGNED_SHORT)) return nullptr;
  const vtkIdType count = static_cast<vtkIdType>(dims[0]) * dims[1] * dims[2];
  if (scalars->GetNumberOfTuples() < count) return nullptr;
  if (components == 4 && type == VTK_UNSIGNED_CHAR) return image;

  auto result = vtkSmartPointer<vtkImageData>::New();
  result->SetDimensions(dims);
  result->SetSpacing(image->GetSpacing());
  result->SetOrigin(image->GetOrigin());
  result->AllocateScalars(VTK_UNSIGNED_CHAR, 4);
  auto* out = static_cast<unsigned char*>(result->GetScalarPointer());
  if (type == VTK_UNSIGNED_CHAR) {
    convertPixels(static_cast<const unsigned char*>(scalars->GetVoidPointer(0)), components, count, out);
  } else {
    convertPixels(static_cast<const unsigned short*>(scalars->GetVoidPointer(0)), components, count, out);
  }
  return result;
}

bool ProbeFile(const std::string& path) {
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  std::ifstream stream(path, std::ios::binary);
  return stream.is_open();
}

vtkSmartPointer<vtkImageData> ReadPngRgba8(const std::string& path) {
  if (!ProbeFile(path)) return nullptr;
  // The signature check first, so a file that is no PNG costs no decoder error message.
  {
    std::ifstream stream(path, std::ios::binary);
    unsigned char signature[8] = {0};
    stream.read(reinterpret_cast<char*>(signature), sizeof(signature));
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (stream.gcount() != 8 || std::memcmp(signature, png, 8) != 0) return nullptr;
  }
  auto reader = vtkSmartPointer<vtkPNGReader>::New();
  reader->SetFileName(path.c_str());
  // A damaged file is reported through the reader's error event instead of VTK's output window.
  auto onError = vtkSmartPointer<vtkCallbackCommand>::New();
  bool failed = false;
  onError->SetClientData(&failed);
  onError->SetCallback([](vtkObject*, unsigned long, void* clientData, void*) { *static_cast<bool*>(clientData) = true; });
  reader->AddObserver(vtkCommand::ErrorEvent, onError);
  auto onWarning = vtkSmartPointer<vtkCallbackCommand>::New();
  onWarning->SetCallback([](vtkObject*, unsigned long, void*, void*) {});
  reader->AddObserver(vtkCommand::WarningEvent, onWarning);
  {
    RestoreThreadFlag thawed(false);
    reader->Update();
  }
  if (failed || reader->GetErrorCode() != 0) return nullptr;
  vtkSmartPointer<vtkImageData> image = reader->GetOutput();
  return ConvertToRgba8(image);
}

int MipLevelCount(int width, int height) {
  int side = width > height ? width : height;
  int levels = 1;
  while (side > 1) {
    side >>= 1;
    ++levels;
  }
  return levels;
}
