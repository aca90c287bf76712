// Large scenes through the scene view beside VTK's own readers: generated scenes of about 1M,
// 5M and 20M cells (an unstructured grid of hexahedra shown as its surface, a triangle surface,
// an image volume rendered directly) opened as a user opens a scene file, on the simulated
// headset running unpaced. For each it prints the open time (the open's start to the first
// frame submitted with the scene), the steady frame time, the memory the process gained with
// the scene (resident set size, both drawable sessions holding the frame) and the peak it
// reached on the way. Beside each, the same file through VTK's reader (and vtkGeometryFilter
// for the grid) and one render in a plain VTK window of one eye's size: the time to that first
// render, its steady frame and the same memory figures. The two runs alternate, each in a
// child process of its own.
//
// Usage: bench_scale [SIZES]            every kind at each size (default 1000000,5000000,20000000)
//        bench_scale KIND CELLS         one scene in the program (KIND: unstructured, triangles, volume)
//        bench_scale vtk KIND CELLS     the same file through VTK's reader
//        bench_scale read KIND CELLS    the file's reading alone, the program's reader and VTK's in
//                                       turn (5 each): wall and CPU time (all threads), medians
// QUONIX_SCALE_REPEATS (default 1) repeats each pair. The scenes are written once into
// $QUONIX_SCALE_DIR (default /tmp/quonix-scale-bench) and reused. Needs a display (Xvfb is
// fine); reads the configuration and assets beside the program (QUONIX_BASE_DIR moves them).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QQuickWindow>
#include <QUrl>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "WavySurface.h"

#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkCellArray.h>
#include <vtkColorTransferFunction.h>
#include <vtkFloatArray.h>
#include <vtkGeometryFilter.h>
#include <vtkIdTypeArray.h>
#include <vtkImageData.h>
#include <vtkPiecewiseFunction.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>
#include <vtkSmartVolumeMapper.h>
#include <vtkUnsignedCharArray.h>
#include <vtkUnstructuredGrid.h>
#include <vtkVolume.h>
#include <vtkVolumeProperty.h>
#include <vtkXMLImageDataReader.h>
#include <vtkXMLImageDataWriter.h>
#include <vtkXMLPolyDataReader.h>
#include <vtkXMLPolyDataWriter.h>
#include <vtkXMLReader.h>
#include <vtkXMLUnstructuredGridReader.h>
#include <vtkXMLUnstructuredGridWriter.h>

#include "ParallelGridReader.h"
#include "ParallelPolyDataReader.h"
#include "RunApplication.h"
#include "SceneView.h"
#include "VRSimulator.h"

namespace {
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <class Condition>
bool waitFor(Condition condition, int milliseconds = 300000) {
  QElapsedTimer timer;
  timer.start();
  while (!condition() && timer.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

// A memory figure of the process from /proc/self/status, in MiB: "VmRSS:" (resident now) or
// "VmHWM:" (the most it was resident).
double statusMiB(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + std::strlen(key)) / 1024.0;
  return 0.0;
}
double residentMiB() { return statusMiB("VmRSS:"); }
double peakMiB() { return statusMiB("VmHWM:"); }

std::string scaleDir() {
  const char* dir = std::getenv("QUONIX_SCALE_DIR");
  return dir && *dir ? dir : "/tmp/quonix-scale-bench";
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// n x n x n hexahedra of a unit cube, with a point scalar.
void writeUnstructured(const std::string& path, int n) {
  const int p = n + 1;
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataTypeToFloat();
  points->SetNumberOfPoints(vtkIdType(p) * p * p);
  auto scalar = vtkSmartPointer<vtkFloatArray>::New();
  scalar->SetName("pressure");
  scalar->SetNumberOfTuples(vtkIdType(p) * p * p);
  for (int k = 0, id = 0; k < p; ++k)
    for (int j = 0; j < p; ++j)
      for (int i = 0; i < p; ++i, ++id) {
        const double x = double(i) / n, y = double(j) / n, z = double(k) / n;
        points->SetPoint(id, x, y, z);
        scalar->SetValue(id, float(std::sin(6 * x) * std::cos(5 * y) + z));
      }
  auto offsets = vtkSmartPointer<vtkIdTypeArray>::New();
  auto connectivity = vtkSmartPointer<vtkIdTypeArray>::New();
  const vtkIdType cells = vtkIdType(n) * n * n;
  offsets->SetNumberOfValues(cells + 1);
  connectivity->SetNumberOfValues(cells * 8);
  vtkIdType c = 0;
  auto at = [p](int i, int j, int k) { return vtkIdType(k) * p * p + vtkIdType(j) * p + i; };
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i, ++c) {
        const vtkIdType ids[8] = {at(i, j, k),     at(i + 1, j, k),     at(i + 1, j + 1, k),     at(i, j + 1, k),
                                  at(i, j, k + 1), at(i + 1, j, k + 1), at(i + 1, j + 1, k + 1), at(i, j + 1, k + 1)};
        offsets->SetValue(c, c * 8);
        for (int v = 0; v < 8; ++v) connectivity->SetValue(c * 8 + v, ids[v]);
      }
  offsets->SetValue(cells, cells * 8);
  auto cellArray = vtkSmartPointer<vtkCellArray>::New();
  cellArray->SetData(offsets, connectivity);
  // The data-file checks refuse any array above 1 GiB: the 64-bit connectivity of 20M
  // hexahedra (1.28 GB) would send the file nowhere. Ids of such grids fit 32 bits.
  if (uint64_t(cells) * 8 * sizeof(vtkTypeInt64) > (uint64_t(1) << 30)) cellArray->ConvertTo32BitStorage();
  auto grid = vtkSmartPointer<vtkUnstructuredGrid>::New();
  grid->SetPoints(points);
  grid->SetCells(VTK_HEXAHEDRON, cellArray);
  grid->GetPointData()->SetScalars(scalar);
  auto writer = vtkSmartPointer<vtkXMLUnstructuredGridWriter>::New();
  writer->SetInputData(grid);
  writer->SetFileName(path.c_str());
  writer->Write();
}

// n x n x n cells (n + 1 points a side) of a float scalar.
void writeVolume(const std::string& path, int n) {
  const int p = n + 1;
  auto image = vtkSmartPointer<vtkImageData>::New();
  image->SetDimensions(p, p, p);
  image->SetSpacing(1.0 / n, 1.0 / n, 1.0 / n);
  image->AllocateScalars(VTK_FLOAT, 1);
  auto* values = static_cast<float*>(image->GetScalarPointer());
  for (int k = 0; k < p; ++k)
    for (int j = 0; j < p; ++j)
      for (int i = 0; i < p; ++i)
        *values++ = float(std::sin(6.0 * i / n) * std::cos(5.0 * j / n) + double(k) / n);
  image->GetPointData()->GetScalars()->SetName("pressure");
  auto writer = vtkSmartPointer<vtkXMLImageDataWriter>::New();
  writer->SetInputData(image);
  writer->SetFileName(path.c_str());
  writer->Write();
}

std::string dataFileFor(const std::string& kind, long cells) {
  const char* ext = kind == "unstructured" ? ".vtu" : kind == "triangles" ? ".vtp" : ".vti";
  return scaleDir() + "/" + kind + "_" + std::to_string(cells) + ext;
}

// The scene file for one kind and size, written with its data when missing.
std::string sceneFor(const std::string& kind, long cells) {
  const std::string dir = scaleDir();
  ::mkdir(dir.c_str(), 0755);
  const std::string base = kind + "_" + std::to_string(cells);
  const std::string scene = dir + "/" + base + ".sce";
  if (exists(scene)) return scene;
  std::string dataFile, drawable;
  if (kind == "unstructured") {
    dataFile = base + ".vtu";
    writeUnstructured(dir + "/" + dataFile, int(std::lround(std::cbrt(double(cells)))));
    drawable = "type = Surface\n            name = \"Grid Boundary\"\n            data = \"" + dataFile +
               "\"\n            base { colorBy = pressure }";
  } else if (kind == "triangles") {
    dataFile = base + ".vtp";
    writeTriangles(dir + "/" + dataFile, int(std::lround(std::sqrt(cells / 2.0))));
    drawable = "type = Surface\n            name = \"Wave Boundary\"\n            data = \"" + dataFile + "\"";
  } else {
    dataFile = base + ".vti";
    writeVolume(dir + "/" + dataFile, int(std::lround(std::cbrt(double(cells)))));
    drawable = "type = Volume\n            name = \"Pressure Volume\"\n            scalars = \"pressure\"\n"
               "            data = \"" + dataFile + "\"\n            volumeRendering { mode = direct, opacity = 0.3 }";
  }
  std::ofstream(scene + ".part") << "format = quonix-scene\nversion = 1\n"
                                    "camera { position = [0.5, 0.5, 3], focalPoint = [0.5, 0.5, 0.5] }\n"
                                    "frameSets {\n  only {\n    title = \"" << base << "\"\n    frames {\n"
                                    "      first {\n        drawables {\n          data {\n            "
                                 << drawable << "\n          }\n        }\n      }\n    }\n  }\n}\n";
  std::rename((scene + ".part").c_str(), scene.c_str());
  return scene;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

// One scene through the scene view; prints one table row.
int runOne(const std::string& kind, long cells, int frames) {
  const std::string scene = sceneFor(kind, cells);
  std::atomic<int> rendered{0};
  auto* window = new QQuickWindow;
  SetUpMainWindow(window);
  window->resize(1280, 720);
  auto* view = new SceneView(window->contentItem());
  view->setSize(QSizeF(1280, 720));
  if (!ConnectSceneView(window, view, QCoreApplication::instance())) return 1;
  QObject::connect(window, &QQuickWindow::beforeRendering, window, [&rendered] { ++rendered; }, Qt::DirectConnection);
  view->createOffscreenSurface();
  window->show();
  if (!waitFor([&] { return rendered > 0; })) return 1;
  // The empty view settles first, so that the open's figures are the scene's own.
  waitFor([] { return false; }, 500);
  const double before = residentMiB();
  const double peakBefore = peakMiB();

  const Clock::time_point start = Clock::now();
  const uint64_t submittedBefore = vrsim::submittedFrameCount();
  view->openFileContinuation1(QUrl::fromLocalFile(QString::fromStdString(scene)));
  const double loaded = msSince(start);
  // The view shows the scene from the first frame submitted after the open returned.
  const uint64_t afterLoad = vrsim::submittedFrameCount();
  if (!waitFor([&] { return vrsim::submittedFrameCount() > afterLoad; })) return 1;
  const double firstFrame = msSince(start);
  (void)submittedBefore;

  std::vector<double> times;
  for (int i = 0; i < frames; ++i) {
    const uint64_t n = vrsim::submittedFrameCount();
    const Clock::time_point t = Clock::now();
    if (!waitFor([&] { return vrsim::submittedFrameCount() > n; })) return 1;
    if (i >= 2) times.push_back(msSince(t));
  }
  const double after = residentMiB();
  std::printf("%-8s %-13s %9ld %10.0f %12.0f %10.1f %11.0f %9.0f\n", "program", kind.c_str(), cells, loaded,
              firstFrame, median(times), after - before, std::max(peakMiB(), peakBefore) - before);
  std::fflush(stdout);
  delete window;
  return 0;
}

// The file through VTK's reader; with surface, a grid comes out as vtkGeometryFilter's surface.
vtkSmartPointer<vtkDataObject> readWithVTK(const std::string& kind, const std::string& file, bool surface) {
  vtkSmartPointer<vtkXMLReader> reader;
  if (kind == "unstructured") reader = vtkSmartPointer<vtkXMLUnstructuredGridReader>::New();
  else if (kind == "triangles") reader = vtkSmartPointer<vtkXMLPolyDataReader>::New();
  else reader = vtkSmartPointer<vtkXMLImageDataReader>::New();
  reader->SetFileName(file.c_str());
  if (kind != "unstructured" || !surface) {
    reader->Update();
    return reader->GetOutputDataObject(0);
  }
  auto filter = vtkSmartPointer<vtkGeometryFilter>::New();
  filter->SetInputConnection(reader->GetOutputPort());
  filter->Update();
  return filter->GetOutput();
}

// The same file through VTK's reader (and vtkGeometryFilter for the grid) and one render in a
// plain VTK window of one eye's size; prints one table row.
int runVTK(const std::string& kind, long cells, int frames) {
  sceneFor(kind, cells);
  const std::string file = dataFileFor(kind, cells);
  auto window = vtkSmartPointer<vtkRenderWindow>::New();
  window->SetSize(640, 720);
  window->SetOffScreenRendering(1);
  auto renderer = vtkSmartPointer<vtkRenderer>::New();
  window->AddRenderer(renderer);
  window->Render();
  const double before = residentMiB();
  const double peakBefore = peakMiB();
  const Clock::time_point start = Clock::now();
  vtkSmartPointer<vtkDataObject> data = readWithVTK(kind, file, true);
  const double loaded = msSince(start);
  if (auto* surface = vtkPolyData::SafeDownCast(data)) {
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    mapper->SetInputData(surface);
    if (vtkDataArray* scalars = surface->GetPointData()->GetScalars()) mapper->SetScalarRange(scalars->GetRange());
    auto actor = vtkSmartPointer<vtkActor>::New();
    actor->SetMapper(mapper);
    renderer->AddActor(actor);
  } else if (auto* image = vtkImageData::SafeDownCast(data)) {
    auto mapper = vtkSmartPointer<vtkSmartVolumeMapper>::New();
    mapper->SetInputData(image);
    auto colours = vtkSmartPointer<vtkColorTransferFunction>::New();
    colours->AddRGBPoint(-1, 0, 0, 1);
    colours->AddRGBPoint(2, 1, 0, 0);
    auto opacity = vtkSmartPointer<vtkPiecewiseFunction>::New();
    opacity->AddPoint(-1, 0.3);
    opacity->AddPoint(2, 0.3);
    auto property = vtkSmartPointer<vtkVolumeProperty>::New();
    property->SetColor(colours);
    property->SetScalarOpacity(opacity);
    auto volume = vtkSmartPointer<vtkVolume>::New();
    volume->SetMapper(mapper);
    volume->SetProperty(property);
    renderer->AddVolume(volume);
  }
  renderer->ResetCamera();
  window->Render();
  const double firstFrame = msSince(start);
  std::vector<double> times;
  for (int i = 0; i < frames; ++i) {
    renderer->GetActiveCamera()->Azimuth(1.0);
    const Clock::time_point t = Clock::now();
    window->Render();
    if (i >= 2) times.push_back(msSince(t));
  }
  std::printf("%-8s %-13s %9ld %10.0f %12.0f %10.1f %11.0f %9.0f\n", "VTK", kind.c_str(), cells, loaded, firstFrame,
              median(times), residentMiB() - before, std::max(peakMiB(), peakBefore) - before);
  std::fflush(stdout);
  return 0;
}

// CPU time of the process (every thread), in ms.
double cpuMs() {
  rusage usage;
  ::getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The file read by the program's parallel reader and by VTK's, alternating; prints their medians.
int runReaders(const std::string& kind, long cells) {
  sceneFor(kind, cells);
  const std::string file = dataFileFor(kind, cells);
  std::vector<double> wall[2], cpu[2];
  for (int i = 0; i < 5; ++i)
    for (int vtk = 0; vtk < 2; ++vtk) {
      const Clock::time_point start = Clock::now();
      const double cpuStart = cpuMs();
      vtkSmartPointer<vtkDataObject> data;
      if (vtk || kind == "volume") data = readWithVTK(kind, file, false);
      else if (kind == "triangles") data = ParallelPolyDataReader::read(file);
      else data = ParallelGridReader::read(file);
      if (!data) return 1;
      wall[vtk].push_back(msSince(start));
      cpu[vtk].push_back(cpuMs() - cpuStart);
    }
  std::printf("%-13s %9ld  program reader %7.0f ms wall %7.0f ms CPU   VTK's reader %7.0f ms wall %7.0f ms CPU\n",
              kind.c_str(), cells, median(wall[0]), median(cpu[0]), median(wall[1]), median(cpu[1]));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  SetUpQtEnvironment();
  if (!std::getenv("QUONIX_BASE_DIR")) {
    const std::string self = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath().toStdString();
    setenv("QUONIX_BASE_DIR", (self + "/../bin").c_str(), 1);
  }
  if (argc >= 4 && std::strcmp(argv[1], "read") == 0) return runReaders(argv[2], std::atol(argv[3]));
  if (argc >= 4 && std::strcmp(argv[1], "vtk") == 0) {
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);
    return runVTK(argv[2], std::atol(argv[3]), 12);
  }
  if (argc >= 3) {
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);
    vrsim::useScript("rate 0\n", "bench");
    return runOne(argv[1], std::atol(argv[2]), argc > 3 ? std::max(3, std::atoi(argv[3])) : 12);
  }
  std::vector<long> sizes;
  for (const char* at = argc == 2 ? argv[1] : "1000000,5000000,20000000"; *at;) {
    char* end = nullptr;
    const long n = std::strtol(at, &end, 10);
    if (end == at || n <= 0) {
      std::fprintf(stderr, "sizes: a comma-separated list of cell counts\n");
      return 2;
    }
    sizes.push_back(n);
    at = *end == ',' ? end + 1 : end;
  }
  const char* repeatText = std::getenv("QUONIX_SCALE_REPEATS");
  const int repeats = std::max(1, repeatText ? std::atoi(repeatText) : 1);
  std::printf("scenes in %s (written on first use); the program's frame is stereo, VTK's one eye\n",
              scaleDir().c_str());
  std::printf("%-8s %-13s %9s %10s %12s %10s %11s %9s\n", "reader", "kind", "cells", "loaded ms", "1st frame ms",
              "frame ms", "memory MiB", "peak MiB");
  std::fflush(stdout);
  int failures = 0;
  for (const char* kind : {"unstructured", "triangles", "volume"})
    for (long cells : sizes)
      for (int r = 0; r < repeats; ++r)
        for (bool vtk : {false, true}) {
          QStringList arguments{kind, QString::number(cells)};
          if (vtk) arguments.prepend("vtk");
          const int code = QProcess::execute(QString::fromLocal8Bit(argv[0]), arguments);
          if (code != 0) {
            std::fprintf(stderr, "%s%s %ld failed (%d)\n", vtk ? "vtk " : "", kind, cells, code);
            ++failures;
          }
        }
  return failures ? 1 : 0;
}
