#pragma once
// Picks the server's parts along a controller's laser when a scene holds thousands of them: the
// parts' world bounds go into a bounding-volume tree once per scene change, so that a frame's
// pick tests only the few parts whose bounds the laser passes, and the picker keeps its cell
// locators from frame to frame. Owned by a widget manager; touched only by the thread that
// drives it.
#include <vtkSmartPointer.h>

#include <array>
#include <memory>
#include <vector>

class vtkProp;
class vtkPropCollection;
namespace kvg {
namespace analysis {
class RayPicker;
}
}  // namespace kvg

class PartPicker {
 public:
  PartPicker();
  ~PartPicker();
  PartPicker(const PartPicker&) = delete;
  PartPicker& operator=(const PartPicker&) = delete;

  // After a scene change: the candidates' bounds into the tree (the candidates stay with the
  // caller's collection, which must hold them while they are indexed); the locators of the
  // previous scene go. Part widgets, which move without a scene change, are tested every time.
  void index(vtkPropCollection* candidates);
  // The nearest indexed prop the segment tip .. tip + direction * length hits within the
  // tolerance (world units), with its distance along the segment; null on a miss.
  vtkProp* pick(const double tip[3], const double direction[3], double length, double tolerance,
                double& hitDistance);
  size_t indexedCount() const { return _props.size() + _alwaysTested.size(); }

 private:
  struct Node {
    double bounds[6];
    int first;  // a leaf's first prop in _props, or the first child (the second follows it)
    int count;  // props of a leaf, 0 for an inner node
  };
  int build(int first, int count);

  std::vector<vtkProp*> _props;
  std::vector<std::array<double, 6>> _bounds;  // of _props, index for index
  std::vector<Node> _nodes;
  std::vector<vtkProp*> _alwaysTested;
  vtkSmartPointer<vtkPropCollection> _near;
  std::unique_ptr<kvg::analysis::RayPicker> _picker;
};
