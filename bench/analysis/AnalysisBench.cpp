// Per-frame cost of the analysis work as the volume's cell count doubles: advecting 1024
// particles, recomputing one plane section and recomputing one iso-surface. Prints the time
// per frame and its growth from the previous size.
//
// Usage: bench_analysis [sizes (default 8)] [volume.vti]
// The volume is resampled to each size; without a file the sample scene's flow volume
// ("sample_vr_data/*.vti" beside the program) is used when it is there, else an analytic flow
// past a cylinder.
#include "IsoSurfaceBuilder.h"
#include "ParticleAdvectionManager.h"
#include "PlaneSectionBuilder.h"
#include "SimplePlaneSection.h"
#include "VolumeSource.h"

#include "AnalysisPipeline.h"

#include <vtkDirectory.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkResampleToImage.h>
#include <vtkSmartPointer.h>
#include <vtkXMLImageDataReader.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
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

// The first .vti file of the sample scene's data folder beside the program, or "".
std::string FindSampleVolume(const char* argv0) {
  std::string dir = argv0;
  const size_t slash = dir.find_last_of('/');
  dir = (slash == std::string::npos ? std::string(".") : dir.substr(0, slash)) + "/sample_vr_data";
  vtkNew<vtkDirectory> listing;
  if (!listing->Open(dir.c_str())) return std::string();
  std::vector<std::string> files;
  for (vtkIdType i = 0; i < listing->GetNumberOfFiles(); ++i) {
    const std::string name = listing->GetFile(i);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".vti") == 0) files.push_back(name);
  }
  if (files.empty()) return std::string();
  std::sort(files.begin(), files.end());
  return dir + "/" + files.front();
}

// The volume resampled to nx points along x (and the sizes of the other axes in proportion).
vtkSmartPointer<vtkImageData> Resample(vtkImageData* source, int nx) {
  double b[6];
  source->GetBounds(b);
  const double ex = b[1] - b[0];
  int dims[3] = {nx, std::max(2, static_cast<int>(std::lround(nx * (b[3] - b[2]) / ex))),
                 std::max(2, static_cast<int>(std::lround(nx * (b[5] - b[4]) / ex)))};
  vtkNew<vtkResampleToImage> resample;
  kvg::analysis::UseOwnExecutive(resample);
  kvg::analysis::ConnectData(resample, source);
  resample->SetUseInputBounds(true);
  resample->SetSamplingDimensions(dims);
  resample->Update();
  auto out = vtkSmartPointer<vtkImageData>::New();
  out->ShallowCopy(resample->GetOutput());
  vtkPointData* in = source->GetPointData();
  if (in->GetScalars()) out->GetPointData()->SetActiveScalars(in->GetScalars()->GetName());
  if (in->GetVectors()) out->GetPointData()->SetActiveVectors(in->GetVectors()->GetName());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int sizes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 8;
  const std::string file = argc > 2 ? std::string(argv[2]) : FindSampleVolume(argv[0]);
  vtkSmartPointer<vtkImageData> sample;
  if (!file.empty()) {
    vtkNew<vtkXMLImageDataReader> reader;
    reader->SetFileName(file.c_str());
    reader->Update();
    if (reader->GetOutput()->GetNumberOfPoints() > 0 && reader->GetOutput()->GetPointData()->GetScalars() &&
        reader->GetOutput()->GetPointData()->GetVectors()) {
      sample = reader->GetOutput();
    } else {
      std::fprintf(stderr, "%s: no volume with scalars and vectors; using the analytic flow\n", file.c_str());
    }
  }
  std::printf("Analysis per-frame cost as the volume's cell count doubles\n");
  std::printf("Volume: %s\n", sample ? file.c_str() : "analytic flow past a cylinder");
  std::printf("%10s %12s | %11s %6s | %11s %6s | %11s %6s\n", "grid", "cells", "advect1024", "ratio", "section",
              "ratio", "isosurface", "ratio");
  double prev[3] = {0, 0, 0};
  for (int k = 0; k < sizes; ++k) {
    const int nx = static_cast<int>(std::lround(32.0 * std::pow(2.0, k / 3.0)));
    auto volume = sample ? Resample(sample, nx) : MakeFlow(nx);
    const std::string scalars = volume->GetPointData()->GetScalars()->GetName();
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
    // Seeds on the inflow face (low x), in the middle 80% of the other two sides.
    double b[6];
    volume->GetBounds(b);
    const double speed = particles.computeMedianMagnitude();
    particles.stepLength = speed > 0.0 ? 0.5 * volume->GetSpacing()[0] / speed : 0.01;  // half a cell per frame
    for (int i = 0; i < 8; ++i) {
      for (int j = 0; j < 8; ++j) {
        const double seed[3] = {b[0] + 0.02 * (b[1] - b[0]), b[2] + (b[3] - b[2]) * (0.1 + 0.8 * i / 7.0),
                                b[4] + (b[5] - b[4]) * (0.1 + 0.8 * j / 7.0)};
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
    sections.setInput(volume, scalars);
    vtkNew<vtkPolyData> cut;
    const int cuts = 20;
    start = Clock::now();
    for (int f = 0; f < cuts; ++f) {
      // An oblique plane moving through the volume, as the interactive section does.
      const double o[3] = {b[0] + (b[1] - b[0]) * (0.1 + 0.8 * f / cuts), 0.5 * (b[2] + b[3]), 0.5 * (b[4] + b[5])};
      const double up[3] = {0.2, 1.0, 0.1}, right[3] = {1.0, 0.0, 0.3};
      sections.compute(kvg::SimplePlaneSection(o, up, right), cut);
    }
    const double section = msSince(start) / cuts;

    kvg::analysis::IsoSurfaceBuilder isos;
    isos.setInput(volume, scalars);
    vtkNew<vtkPolyData> surface;
    double range[2];
    volume->GetPointData()->GetScalars()->GetRange(range);
    const int contours = 10;
    start = Clock::now();
    for (int f = 0; f < contours; ++f) isos.compute(range[0] + (range[1] - range[0]) * (0.3 + 0.04 * f), surface);
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
