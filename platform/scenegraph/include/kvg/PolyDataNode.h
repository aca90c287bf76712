#pragma once
// Surface, line or point data of a drawable (a vtkPolyData).
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include "kvg/Node.h"

namespace kvg {

class PolyDataNode : public Node {
  KVG_NODE_TYPE(PolyDataNode, Node)

 public:
  PolyDataNode();
  explicit PolyDataNode(vtkPolyData* polyData);
  ~PolyDataNode() override;

  // Never null: a node starts with empty poly data.
  vtkPolyData* getPolyData() const { return _polyData; }
  void setPolyData(vtkPolyData* polyData);

 private:
  vtkSmartPointer<vtkPolyData> _polyData;
};

}  // namespace kvg
