#include "SurfaceReduction.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>

#include <vtkBinnedDecimation.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkTriangleFilter.h>

#include "FreezablePipeline.h"

namespace {

// At most this many searches of the grid spacing per surface.
constexpr int kSpacingTries = 6;

bool onlyTriangles(vtkCellArray* polys) {
  return polys->GetNumberOfConnectivityIds() == 3 * polys->GetNumberOfCells();
}

// The surface's points, polygons and attributes, sharing its arrays: what the worker reads.
vtkSmartPointer<vtkPolyData> polygonsOf(vtkPolyData* surface) {
  auto polygons = vtkSmartPointer<vtkPolyData>::New();
  polygons->SetPoints(surface->GetPoints());
  polygons->SetPolys(surface->GetPolys());
  polygons->GetPointData()->ShallowCopy(surface->GetPointData());
  // Cell data runs over verts, lines, polys and strips in that order: only whole polygon data
  // can go with the polygons.
  const vtkIdType others = surface->GetNumberOfVerts() + surface->GetNumberOfLines() + surface->GetNumberOfStrips();
  if (others == 0) polygons->GetCellData()->ShallowCopy(surface->GetCellData());
  return polygons;
}

}  // namespace

SurfaceReduction::SurfaceReduction() : _worker([this] { run(); }) {}

SurfaceReduction::~SurfaceReduction() {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _stopping = true;
    _queue.clear();
  }
  _wake.notify_all();
  _worker.join();
}

SurfaceReduction::Key SurfaceReduction::keyOf(vtkPolyData* surface, vtkIdType targetTriangles) {
  // The arrays themselves (shared by the buffers' shallow copies) and their modification times.
  Key key{uintptr_t(targetTriangles)};
  auto add = [&key](vtkObject* object) {
    key.push_back(reinterpret_cast<uintptr_t>(object));
    key.push_back(object ? uintptr_t(object->GetMTime()) : 0);
  };
  add(surface->GetPoints() ? surface->GetPoints()->GetData() : nullptr);
  add(surface->GetPolys());
  for (vtkFieldData* data : {static_cast<vtkFieldData*>(surface->GetPointData()),
                             static_cast<vtkFieldData*>(surface->GetCellData())}) {
    key.push_back(uintptr_t(data->GetNumberOfArrays()));
    for (int i = 0; i < data->GetNumberOfArrays(); ++i) add(data->GetAbstractArray(i));
  }
  return key;
}

std::shared_ptr<const SurfaceReduction::Result> SurfaceReduction::request(vtkPolyData* surface,
                                                                            vtkIdType targetTriangles) {
  const Key key = keyOf(surface, targetTriangles);
  // The points' bounds are cached in the shared points on first use: here, not on the worker.
  if (surface->GetPoints()) surface->GetPoints()->GetBounds();
  std::lock_guard<std::mutex> lock(_mutex);
  for (auto it = _made.begin(); it != _made.end();) it = it->second.expired() ? _made.erase(it) : std::next(it);
  auto found = _made.find(key);
  if (found != _made.end())
    if (std::shared_ptr<Result> result = found->second.lock()) return result;
  auto result = std::make_shared<Result>();
  _made[key] = result;
  _queue.push_back(Job{polygonsOf(surface), targetTriangles, result});
  _wake.notify_all();
  return result;
}

// Surface-reduction worker thread.
void SurfaceReduction::run() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(_mutex);
      _wake.wait(lock, [this] { return _stopping || !_queue.empty(); });
      if (_stopping) return;
      job = std::move(_queue.front());
      _queue.pop_front();
    }
    // Nobody waits for it any more (the scene went): not worth the time.
    if (job.result.use_count() == 1) {
      job.result->ready.store(true, std::memory_order_release);
      continue;
    }
    const auto start = std::chrono::steady_clock::now();
    job.result->reduced = Reduce(job.surface, job.target);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    // Ready before it is told, so whoever reads the line finds the copy there.
    job.result->ready.store(true, std::memory_order_release);
    if (vtkPolyData* reduced = job.result->reduced)
      std::cout << "A surface of " << job.surface->GetNumberOfPolys() << " polygons is drawn with "
                << reduced->GetNumberOfPolys() << " triangles while the model moves (reduced in " << ms << " ms)"
                << std::endl;
  }
}

vtkSmartPointer<vtkPolyData> SurfaceReduction::Reduce(vtkPolyData* surface, vtkIdType targetTriangles) {
  if (!surface || !surface->GetPoints() || surface->GetNumberOfPolys() == 0 || targetTriangles <= 0) return nullptr;
  // Worker threads are never frozen, but a caller on the render thread may be.
  const RestoreThreadFlag unfrozen(false);
  vtkSmartPointer<vtkPolyData> triangles = polygonsOf(surface);
  if (!onlyTriangles(triangles->GetPolys())) {
    // The triangle filter walks the cells with the array's own traversal state: its own copy.
    auto polys = vtkSmartPointer<vtkCellArray>::New();
    polys->DeepCopy(triangles->GetPolys());
    triangles->SetPolys(polys);
    auto split = vtkSmartPointer<vtkTriangleFilter>::New();
    split->SetInputData(triangles);
    split->PassVertsOff();
    split->PassLinesOff();
    split->Update();
    triangles = vtkSmartPointer<vtkPolyData>::New();
    triangles->ShallowCopy(split->GetOutput());
  }
  const vtkIdType full = triangles->GetNumberOfPolys();
  if (full <= targetTriangles) return nullptr;
  double bounds[6];
  triangles->GetBounds(bounds);
  const double extent[3] = {bounds[1] - bounds[0], bounds[3] - bounds[2], bounds[5] - bounds[4]};
  const double largest = std::max({extent[0], extent[1], extent[2]});
  if (!(largest > 0.0) || !std::isfinite(largest)) return nullptr;

  // A surface of n triangles has about n / 2 points; a grid bin keeps one of them. Start as if
  // the surface were one sheet across its largest face, then correct by the square root of the
  // ratio found (the bins a surface meets grow with the square of the divisions).
  const double target = double(targetTriangles);
  double spacing = largest / std::sqrt(target / 2.0);
  vtkSmartPointer<vtkPolyData> best;
  vtkIdType bestCount = 0;
  for (int attempt = 0; attempt < kSpacingTries; ++attempt) {
    int divisions[3];
    for (int a = 0; a < 3; ++a)
      divisions[a] = int(std::min(2048.0, std::max(1.0, std::ceil(extent[a] / spacing))));
    auto binned = vtkSmartPointer<vtkBinnedDecimation>::New();
    binned->SetInputData(triangles);
    binned->AutoAdjustNumberOfDivisionsOff();
    binned->SetNumberOfDivisions(divisions);
    binned->SetPointGenerationModeToBinAverages();
    binned->ProducePointDataOn();
    binned->ProduceCellDataOn();
    binned->Update();
    const vtkIdType count = binned->GetOutput()->GetNumberOfPolys();
    const bool fits = count > 0 && count <= target * 1.15;
    // Keep the fitting result nearest the target; without one yet, the smallest.
    if (count > 0 && (!best || (fits && (bestCount > target * 1.15 || count > bestCount)) ||
                      (!fits && bestCount > target * 1.15 && count < bestCount))) {
      best = vtkSmartPointer<vtkPolyData>::New();
      best->ShallowCopy(binned->GetOutput());
      bestCount = count;
    }
    if (fits && count >= target * 0.8) break;
    spacing *= std::sqrt(double(std::max<vtkIdType>(count, 1)) / target);
  }
  if (!best || bestCount >= full) return nullptr;
  return best;
}
