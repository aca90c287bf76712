#pragma once
// The program's VTK executive. Installed as VTK's default executive prototype at start-up, so
// every algorithm created afterwards uses it. While the calling thread's freeze flag is set,
// every update entry point reports success and does nothing: the render thread sets its flag
// after each frame so that drawing never re-executes a pipeline that the back-buffer thread
// is bringing up to date.
#include <vtkCompositeDataPipeline.h>

class FreezablePipeline : public vtkCompositeDataPipeline {
 public:
  static FreezablePipeline* New();
  vtkTypeMacro(FreezablePipeline, vtkCompositeDataPipeline);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  // Any thread: each returns 1 at once while that thread is frozen.
  vtkTypeBool Update() override;
  vtkTypeBool Update(int port) override;
  vtkTypeBool UpdateWholeExtent() override;
  // The entry of UpdatePiece and of the renderer's cullers.
  vtkTypeBool Update(int port, vtkInformationVector* requests) override;

  // A new instance becomes VTK's default executive prototype, and the analysis props learn to
  // lift the calling thread's freeze while VTK's volume mapper draws (its helper pipelines
  // would otherwise stay empty). GUI thread, at start-up.
  static void InstallAsDefault();

  // The calling thread's freeze flag; false when a thread begins.
  static bool IsThreadFrozen();
  static void SetThreadFrozen(bool frozen);

 protected:
  FreezablePipeline() = default;
  ~FreezablePipeline() override = default;

 private:
  FreezablePipeline(const FreezablePipeline&) = delete;
  void operator=(const FreezablePipeline&) = delete;
};

// Scope guard for an update that must run on a frozen thread: sets the calling thread's flag
// to the given value and puts the previous value back when the scope ends, also on unwinding.
class RestoreThreadFlag {
 public:
  explicit RestoreThreadFlag(bool frozen = false);
  ~RestoreThreadFlag();
  RestoreThreadFlag(const RestoreThreadFlag&) = delete;
  RestoreThreadFlag& operator=(const RestoreThreadFlag&) = delete;

 private:
  bool _saved;
};
