// Per-frame cost of the analysis work as the volume's cell count doubles: advecting 1024
// particles, recomputing one plane section and recomputing one iso-surface. Prints the time
// per frame and its growth from the previous size.
//
// Usage: bench_analysis [sizes (default 8)]
#include "IsoSurfaceBuilder.h"
#include "ParticleAdvectionManager.h"
#include "PlaneSectionBuilder.h"
#include "SimplePlaneSection.h"
#include "VolumeSource.h"

#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Flow past a cylinder along z in the box [-2, 2] x [-1, 1] x [-1, 1]: potential-flow velocity
// with a swirl, and a pressure-like scalar (Bernoulli: p = 1 - |v|^2 / 2).
vtkSmartPointer<vtkImageData> MakeFlow(int nx) {
  const int ny = nx / 2 + 1, nz = nx / 2 + 1;
  const double h = 4.0 / (nx - 1);
  auto image = vtkSmartPointer<vtkImageData>::New();
  image->SetDimensions(nx, ny, nz);
  image->SetOrigin(-2.0, -1.0, -1.0);
  image->SetSpacing(h, 2.0 / (ny - 1), 2.0 / (nz - 1));
  const vtkIdType n = image->GetNumberOfPoints();
  vtkNew<vtkFloatArray> pressure;
  pressure->SetName("pressure");
  pressure->SetNumberOfTuples(n);
  vtkNew<vtkFloatArray> velocity;
  velocity->SetName("velocity");
  velocity->SetNumberOfComponents(3);
  velocity->SetNumberOfTuples(n);
  const double a2 = 0.3 * 0.3;
  for (vtkIdType i = 0; i < n; ++i) {
    double p[3];
    image->GetPoint(i, p);
    const double r2 = std::max(p[0] * p[0] + p[1] * p[1], a2);
    const double vx = 1.0 - a2 * (p[0] * p[0] - p[1] * p[1]) / (r2 * r2);
    const double vy = -2.0 * a2 * p[0] * p[1] / (r2 * r2);
    const double vz = 0.2 * std::sin(3.0 * p[0]);
    velocity->SetTuple3(i, vx, vy, vz);
    pressure->SetValue(i, static_cast<float>(1.0 - 0.5 * (vx * vx + vy * vy + vz * vz)));
  }
  image->GetPointData()->SetScalars(pressure);
  image->GetPointData()->SetVectors(velocity);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  const int sizes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 8;
  std::printf("Analysis per-frame cost as the volume's cell count doubles\n");
  std::printf("%10s %12s | %11s %6s | %11s %6s | %11s %6s\n", "grid", "cells", "advect1024", "ratio", "section",
              "ratio", "isosurface", "ratio");
  double prev[3] = {0, 0, 0};
  for (int k = 0; k < sizes; ++k) {
    const int nx = static_cast<int>(std::lround(32.0 * std::pow(2.0, k / 3.0)));
    auto volume = MakeFlow(nx);
    int dims[3];
    volume->GetDimensions(dims);
    const long long cells = static_cast<long long>(dims[0] - 1) * (dims[1] - 1) * (dims[2] - 1);

    // 64 seeds across the inflow, 16 particles each: 1024 particles once the streams are full.
    kvg::ParticleAdvectionManager particles;
    kvg::VolumeSource source;
    source.name = "flow";
    source.data = volume;
    particles.setVolumes({source});
    particles.setParticleCount(16);
    particles.setNumParticlesPerFrame(1);
    particles.stepLength = 0.01;
    for (int i = 0; i < 8; ++i) {
      for (int j = 0; j < 8; ++j) {
        const double seed[3] = {-1.9, -0.8 + 1.6 * i / 7.0, -0.8 + 1.6 * j / 7.0};
        particles.addSeedPosition(seed);
      }
    }
    vtkNew<vtkPolyData> points;
    for (int f = 0; f < 16; ++f) particles.advanceFrame(points);
    const int frames = 200;
    auto start = Clock::now();
    for (int f = 0; f < frames; ++f) particles.advanceFrame(points);
    const double advect = msSince(start) / frames;

    kvg::analysis::PlaneSectionBuilder sections;
    sections.setInput(volume, "pressure");
    vtkNew<vtkPolyData> cut;
    const int cuts = 20;
    start = Clock::now();
    for (int f = 0; f < cuts; ++f) {
      // An oblique plane moving through the volume, as the interactive section does.
      const double o[3] = {-1.5 + 3.0 * f / cuts, 0.1, 0.0}, up[3] = {0.2, 1.0, 0.1}, right[3] = {1.0, 0.0, 0.3};
      sections.compute(kvg::SimplePlaneSection(o, up, right), cut);
    }
    const double section = msSince(start) / cuts;

    kvg::analysis::IsoSurfaceBuilder isos;
    isos.setInput(volume, "pressure");
    vtkNew<vtkPolyData> surface;
    const int contours = 10;
    start = Clock::now();
    for (int f = 0; f < contours; ++f) isos.compute(0.2 + 0.05 * f, surface);
    const double iso = msSince(start) / contours;

    const double now[3] = {advect, section, iso};
    char grid[32];
    std::snprintf(grid, sizeof grid, "%dx%dx%d", dims[0], dims[1], dims[2]);
    std::printf("%10s %12lld |", grid, cells);
    for (int m = 0; m < 3; ++m) {
      if (k == 0) {
        std::printf(" %8.3f ms %6s |", now[m], "-");
      } else {
        std::printf(" %8.3f ms %6.2f |", now[m], now[m] / prev[m]);
      }
      prev[m] = now[m];
    }
    std::printf("   (%zu particles)\n", particles.getNumberOfParticles());
  }
  std::printf("Expected growth per doubling of the cells: advection 1.0 (independent of the grid),\n"
              "section 2^(2/3) = 1.59 (cells cut by a plane), iso-surface 2.0 (every cell visited).\n");
  return 0;
}
