#pragma once
// Volume data of a drawable: a vtkImageData whose point data carries a scalar field (the
// active scalars, e.g. pressure) and optionally a 3-component vector field (the active
// vectors, e.g. velocity).
#include <string>

#include <vtkImageData.h>
#include <vtkSmartPointer.h>

#include "kvg/Node.h"

namespace kvg {

class ImageDataNode : public Node {
  KVG_NODE_TYPE(ImageDataNode, Node)

 public:
  ImageDataNode();
  explicit ImageDataNode(vtkImageData* imageData);
  ~ImageDataNode() override;

  // Never null: a node starts with empty image data.
  vtkImageData* getImageData() const { return _imageData; }
  void setImageData(vtkImageData* imageData);

  // Names of the active scalar and vector arrays of the point data; empty when none.
  std::string getScalarArrayName() const;
  std::string getVectorArrayName() const;
  // Makes the named point arrays the active ones; false when there is no such array or the
  // vector array does not have 3 components.
  bool setScalarArrayName(const std::string& name);
  bool setVectorArrayName(const std::string& name);

 private:
  vtkSmartPointer<vtkImageData> _imageData;
};

}  // namespace kvg
