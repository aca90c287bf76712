#include "kvg/ImageDataNode.h"

#include <vtkDataArray.h>
#include <vtkPointData.h>

namespace kvg {

ImageDataNode::ImageDataNode() : _imageData(vtkSmartPointer<vtkImageData>::New()) {}

ImageDataNode::ImageDataNode(vtkImageData* imageData) : ImageDataNode() { setImageData(imageData); }

ImageDataNode::~ImageDataNode() = default;

void ImageDataNode::setImageData(vtkImageData* imageData) {
  _imageData = imageData;
  if (!_imageData) _imageData = vtkSmartPointer<vtkImageData>::New();
  modified();
}

std::string ImageDataNode::getScalarArrayName() const {
  vtkDataArray* a = _imageData->GetPointData()->GetScalars();
  return a && a->GetName() ? a->GetName() : std::string();
}

std::string ImageDataNode::getVectorArrayName() const {
  vtkDataArray* a = _imageData->GetPointData()->GetVectors();
  return a && a->GetName() ? a->GetName() : std::string();
}

bool ImageDataNode::setScalarArrayName(const std::string& name) {
  vtkDataArray* a = _imageData->GetPointData()->GetArray(name.c_str());
  if (!a) return false;
  _imageData->GetPointData()->SetActiveScalars(name.c_str());
  modified();
  return true;
}

bool ImageDataNode::setVectorArrayName(const std::string& name) {
  vtkDataArray* a = _imageData->GetPointData()->GetArray(name.c_str());
  if (!a || a->GetNumberOfComponents() != 3) return false;
  _imageData->GetPointData()->SetActiveVectors(name.c_str());
  modified();
  return true;
}

}  // namespace kvg
