#include "kvg/PolyDataNode.h"

namespace kvg {

PolyDataNode::PolyDataNode() : _polyData(vtkSmartPointer<vtkPolyData>::New()) {}

PolyDataNode::PolyDataNode(vtkPolyData* polyData) : PolyDataNode() { setPolyData(polyData); }

PolyDataNode::~PolyDataNode() = default;

void PolyDataNode::setPolyData(vtkPolyData* polyData) {
  _polyData = polyData;
  if (!_polyData) _polyData = vtkSmartPointer<vtkPolyData>::New();
  modified();
}

}  // namespace kvg
