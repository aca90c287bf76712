#pragma once
// A velocity field on a regular grid, sampled with trilinear interpolation and integrated
// with a fourth-order Runge-Kutta scheme. The particle advection reads it every frame, so
// the vectors are copied once into a flat float array.
#include <string>
#include <vector>

class vtkImageData;

namespace kvg {
namespace analysis {

class VectorField {
 public:
  VectorField();

  // Takes the named 3-component point array of the image (its active vectors when the name is
  // empty). A point array "vtkValidPointMask", when present, marks points without a value.
  // Returns false and leaves the field empty when the image has no such array.
  bool setImage(vtkImageData* image, const std::string& vectorName);

  void clear();
  bool isEmpty() const { return _vectors.empty(); }

  // True when p lies in the grid and the field has a value there.
  bool contains(const double p[3]) const;
  // The interpolated velocity at p; false (v untouched) outside the grid or where a
  // contributing grid point has no value.
  bool sample(const double p[3], double v[3]) const;
  // Moves p along the flow for the time dt (sub-stepped so that no step crosses more than one
  // cell). Returns false when the path leaves the field; p then holds the last position inside.
  bool advect(double p[3], double dt) const;

  // Median of the velocity magnitudes over the grid points that have a value (0 when none).
  double medianMagnitude() const;
  void getBounds(double bounds[6]) const;
  double minSpacing() const;
  const int* dimensions() const { return _dims; }

 private:
  bool rk4Step(double p[3], double h) const;

  int _dims[3];
  double _origin[3];
  double _spacing[3];
  std::vector<float> _vectors;       // 3 per grid point, x fastest
  std::vector<unsigned char> _valid; // empty: every point has a value
  double _median;
};

}  // namespace analysis
}  // namespace kvg
