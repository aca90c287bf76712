// Frame time of a clipped volume with precise bounds (every sample tested against the planes)
// and with approximate ones (cropped to the box around the kept part). The two are alternated
// in one loop so drift moves both alike. Run under a display (Xvfb): it renders offscreen.
#include "VolumeVisual.h"

#include <vtkCamera.h>
#include <vtkImageData.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPlane.h>
#include <vtkPlaneCollection.h>
#include <vtkPointData.h>
#include <vtkPropAssembly.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

using kvg::analysis::VolumeSettings;
using kvg::analysis::VolumeVisual;

namespace {
vtkSmartPointer<vtkImageData> MakeVolume(int n) {
  auto image = vtkSmartPointer<vtkImageData>::New();
  image->SetDimensions(n, n, n);
  image->SetSpacing(1.0 / (n - 1), 1.0 / (n - 1), 1.0 / (n - 1));
  auto values = vtkSmartPointer<vtkFloatArray>::New();
  values->SetName("scalar");
  values->SetNumberOfTuples(vtkIdType(n) * n * n);
  for (vtkIdType i = 0; i < values->GetNumberOfTuples(); ++i) {
    double p[3];
    image->GetPoint(i, p);
    values->SetValue(i, float(std::sin(6 * p[0]) * std::cos(5 * p[1]) + p[2]));
  }
  image->GetPointData()->AddArray(values);
  return image;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
  const int size = argc > 1 ? std::atoi(argv[1]) : 800;
  const int frames = argc > 2 ? std::atoi(argv[2]) : 5;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 7;

  vtkNew<vtkRenderWindow> window;
  vtkNew<vtkRenderer> renderer;
  window->SetOffScreenRendering(1);
  window->SetSize(size, size);
  window->SetMultiSamples(0);
  window->AddRenderer(renderer);
  VolumeVisual visual(MakeVolume(96), "scalar");
  renderer->AddViewProp(visual.assembly());
  renderer->GetActiveCamera()->SetPosition(2.2, 1.6, 2.5);
  renderer->GetActiveCamera()->SetFocalPoint(0.5, 0.5, 0.5);
  renderer->ResetCameraClippingRange();

  struct Plane {
    double origin[3], normal[3];
  };
  const struct {
    const char* name;
    std::vector<Plane> planes;
  } cases[] = {
      {"two oblique planes", {{{0.6, 0.6, 0.5}, {1, 1, 0.3}}, {{0.5, 0.5, 0.7}, {-0.2, 0.1, -1}}}},
      {"one plane across x", {{{0.5, 0.5, 0.5}, {1, 0, 0}}}},
  };
  std::printf("Clipped volume (96^3), %dx%d, median of %d alternations of %d frames\n", size, size, rounds, frames);
  for (const auto& c : cases) {
    vtkNew<vtkPlaneCollection> planes;
    for (const Plane& p : c.planes) {
      vtkNew<vtkPlane> plane;
      plane->SetOrigin(p.origin[0], p.origin[1], p.origin[2]);
      plane->SetNormal(p.normal[0], p.normal[1], p.normal[2]);
      planes->AddItem(plane);
    }
    visual.setClippingPlanes(planes);
    VolumeSettings settings;
    settings.volumeRendering = true;
    settings.vrMode = true;
    settings.quality = 1.0;
    std::vector<double> times[2];
    for (int round = 0; round < rounds; ++round) {
      for (int precise = 0; precise < 2; ++precise) {
        settings.preciseBounds = precise == 1;
        visual.applySettings(settings);
        window->Render();  // a changed mode may rebuild the shader or the texture: not counted
        const auto start = std::chrono::steady_clock::now();
        for (int f = 0; f < frames; ++f) window->Render();
        times[precise].push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / frames);
      }
    }
    std::printf("  %-20s precise %8.2f ms, approximate %8.2f ms per frame (ratio %.2f)\n", c.name,
                median(times[1]), median(times[0]), median(times[1]) / median(times[0]));
    visual.setClippingPlanes(nullptr);
  }
  return 0;
}
