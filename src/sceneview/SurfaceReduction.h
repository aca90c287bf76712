#pragma once
// Reduced copies of big triangle surfaces, drawn instead of the full ones while the model moves
// (MovingModelSurfaces): on the software rasterizer a surface of millions of triangles costs
// hundreds of milliseconds per stereo frame, a copy of about a hundred thousand a few.
//
// A copy is made once per surface data: the two render buffers show shallow copies of the same
// arrays, and ask with the same key. The copies are made on a worker thread of the object's own,
// one surface at a time, so neither the render thread nor the back-buffer updater waits.
//
// Threads: request() from any thread; the worker only reads the surface's arrays, which nobody
// writes while a scene shows them (a changed surface comes as new arrays). The object owns the
// worker and its queue, guarded by its mutex; the destructor stops the worker after the surface
// it is working on.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

class SurfaceReduction {
 public:
  // The outcome of one request. ready turns true (release) once reduced is final: the copy, or
  // null when the surface cannot be reduced (not only triangles and quads, flat nothing, or no
  // fewer triangles than it has).
  struct Result {
    std::atomic<bool> ready{false};
    vtkSmartPointer<vtkPolyData> reduced;
  };

  SurfaceReduction();
  ~SurfaceReduction();
  SurfaceReduction(const SurfaceReduction&) = delete;
  SurfaceReduction& operator=(const SurfaceReduction&) = delete;

  // Any thread: the copy of the surface's polygons with about targetTriangles triangles, made on
  // the worker; the same result for every caller asking for the same arrays and target while
  // one of them still holds it.
  std::shared_ptr<const Result> request(vtkPolyData* surface, vtkIdType targetTriangles);

  // The reduction itself, on the calling thread: the surface's polygons (verts, lines and strips
  // dropped; quads and other polygons split) binned into a grid whose spacing is searched for
  // about targetTriangles triangles (at most 15 % more), each bin's points averaged with their
  // point data, the triangles keeping their cell data. Null as in Result.
  static vtkSmartPointer<vtkPolyData> Reduce(vtkPolyData* surface, vtkIdType targetTriangles);

 private:
  using Key = std::vector<uintptr_t>;
  struct Job {
    vtkSmartPointer<vtkPolyData> surface;
    vtkIdType target = 0;
    std::shared_ptr<Result> result;
  };

  // The worker thread's loop.
  void run();
  static Key keyOf(vtkPolyData* surface, vtkIdType targetTriangles);

  std::mutex _mutex;  // guards everything below
  std::condition_variable _wake;
  std::deque<Job> _queue;
  std::map<Key, std::weak_ptr<Result>> _made;
  bool _stopping = false;
  std::thread _worker;
};
