#pragma once
// Small volumes with known analytic fields, and an offscreen window for pixel checks.
#include "SimplePlaneSection.h"

#include <vtkCamera.h>
#include <vtkDoubleArray.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>

#include <array>
#include <functional>
#include <string>

namespace testing_analysis {

using ScalarFn = std::function<double(const double p[3])>;
using VectorFn = std::function<void(const double p[3], double v[3])>;

// An image of dims points from `origin` with `spacing`, with a point scalar array "scalar"
// (active) and, when given, a vector array "velocity" (active vectors).
inline vtkSmartPointer<vtkImageData> MakeVolume(std::array<int, 3> dims, std::array<double, 3> origin,
                                                std::array<double, 3> spacing, const ScalarFn& scalar,
                                                const VectorFn& vector = nullptr) {
  auto image = vtkSmartPointer<vtkImageData>::New();
  image->SetDimensions(dims.data());
  image->SetOrigin(origin.data());
  image->SetSpacing(spacing.data());
  const vtkIdType n = image->GetNumberOfPoints();
  vtkNew<vtkDoubleArray> s;
  s->SetName("scalar");
  s->SetNumberOfTuples(n);
  vtkNew<vtkDoubleArray> v;
  v->SetName("velocity");
  v->SetNumberOfComponents(3);
  v->SetNumberOfTuples(n);
  for (vtkIdType i = 0; i < n; ++i) {
    double p[3];
    image->GetPoint(i, p);
    s->SetValue(i, scalar ? scalar(p) : 0.0);
    double vec[3] = {0, 0, 0};
    if (vector) vector(p, vec);
    v->SetTuple(i, vec);
  }
  image->GetPointData()->SetScalars(s);
  if (vector) image->GetPointData()->SetVectors(v);
  return image;
}

// A plane section through o with the given up and right vectors.
inline kvg::SimplePlaneSection MakeSection(std::array<double, 3> o, std::array<double, 3> up, std::array<double, 3> right) {
  return kvg::SimplePlaneSection(o.data(), up.data(), right.data());
}

// Bytes that differ between two pixel buffers of the same size; `lit` receives the non-zero
// bytes of the first.
inline int CountDifferences(vtkUnsignedCharArray* a, vtkUnsignedCharArray* b, int* lit = nullptr) {
  int differing = 0, nonZero = 0;
  for (vtkIdType i = 0; i < a->GetNumberOfTuples() * a->GetNumberOfComponents(); ++i) {
    differing += a->GetValue(i) != b->GetValue(i) ? 1 : 0;
    nonZero += a->GetValue(i) != 0 ? 1 : 0;
  }
  if (lit) *lit = nonZero;
  return differing;
}

// An offscreen window of w x h with one renderer on a black background.
struct OffscreenView {
  vtkNew<vtkRenderWindow> window;
  vtkNew<vtkRenderer> renderer;
  int width, height;

  OffscreenView(int w = 160, int h = 160) : width(w), height(h) {
    window->SetOffScreenRendering(1);
    window->SetSize(w, h);
    window->SetMultiSamples(0);
    renderer->SetBackground(0, 0, 0);
    window->AddRenderer(renderer);
  }

  // Looks at the box (xmin..xmax, ymin..ymax) from +z with a parallel projection that maps it
  // exactly onto the window.
  void lookAtXY(double xmin, double xmax, double ymin, double ymax, double zEye = 10.0) {
    vtkCamera* cam = renderer->GetActiveCamera();
    cam->ParallelProjectionOn();
    cam->SetFocalPoint(0.5 * (xmin + xmax), 0.5 * (ymin + ymax), 0.0);
    cam->SetPosition(0.5 * (xmin + xmax), 0.5 * (ymin + ymax), zEye);
    cam->SetViewUp(0, 1, 0);
    cam->SetParallelScale(0.5 * (ymax - ymin));
    renderer->ResetCameraClippingRange();
    cam->SetClippingRange(0.01, 2.0 * zEye + 100.0);
  }

  // Renders and reads the colour buffer (RGB, bottom row first).
  vtkSmartPointer<vtkUnsignedCharArray> render() {
    window->Render();
    auto pixels = vtkSmartPointer<vtkUnsignedCharArray>::New();
    window->GetPixelData(0, 0, width - 1, height - 1, 0, pixels);
    return pixels;
  }

  static std::array<int, 3> at(vtkUnsignedCharArray* pixels, int width, int x, int y) {
    const unsigned char* p = pixels->GetPointer(3 * (y * width + x));
    return {p[0], p[1], p[2]};
  }
};

}  // namespace testing_analysis
