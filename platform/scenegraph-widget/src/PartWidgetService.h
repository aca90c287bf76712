#pragma once
// The widget service of one drawable session. It learns which part the server highlights from
// each committed scene, shows that part's interactive widget (in the widget highlight colour)
// in the scene's model renderer in place of the part, and answers the part-widget events on the
// scene's render-window interactor: 1007 names the active widget's part, 1002 starts a drag,
// 1001 and 1008 move it with the ray, 1003 ends it and sends the new geometry to the server
// (a "notifyKvgNode" callback of the session), 1004/1005 report the widget, 1006 drops it.
//
// Threads: nodesCommitted and sceneUpdated run on the thread that owns the session (the loader
// or the back-buffer updater); the events come on the thread that draws the session's render
// window. The program never does both at once for one session.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include <vtkSmartPointer.h>
#include <vtkWeakPointer.h>

#include "kvg/SessionExtension.h"

class vtkActor;
class vtkCallbackCommand;
class vtkObject;
class vtkRenderer;
class vtkRenderWindowInteractor;

namespace kvg {
class DrawableSession;
}

namespace zeltwidget {

struct WidgetEvent;
struct WidgetState;

class PartWidgetService : public kvg::SessionExtension {
 public:
  static const char* const NAME;  // "ZeltSceneGraphWidget"

  explicit PartWidgetService(kvg::DrawableSession& session);
  ~PartWidgetService() override;

  void nodesCommitted(kvg::DrawableSession& session) override;
  void sceneUpdated(kvg::DrawableScene& scene) override;
  void sceneRemoved(kvg::DrawableScene& scene) override;

  // The event handler; true when the event was answered (the caller aborts it).
  bool handleEvent(unsigned long id, WidgetEvent& event);

  const std::string& activePart() const { return _part; }
  bool isDragging() const { return _dragging; }

 private:
  static void onEvent(vtkObject* caller, unsigned long id, void* clientData, void* callData);
  void observe(vtkRenderWindowInteractor* interactor);
  void dropWidget();
  void buildWidget(vtkRenderer* renderer);
  void writeState(WidgetState& state) const;
  void follow(const WidgetEvent& event);
  void placeWidget();
  void sendGeometry();
  std::array<std::array<double, 3>, 3> movedGeometry() const;

  kvg::DrawableSession& _session;
  std::string _sceneKey;
  vtkWeakPointer<vtkRenderWindowInteractor> _interactor;
  vtkSmartPointer<vtkCallbackCommand> _command;
  unsigned long _tags[8] = {};
  vtkWeakPointer<vtkRenderer> _renderer;
  vtkSmartPointer<vtkActor> _widget;

  // The program's connection to the server that sends the part commands (the `connectionId`
  // of the records sent with the state; one for the process, both buffers' sessions use it):
  // the parts it highlights are this program's picks. Written on the drawing thread, read on
  // the sessions' owning threads.
  static std::atomic<int64_t> s_connectionId;
  std::string _highlighted;  // what the server's last scene highlights for this program
  std::string _part;         // the part whose widget is shown
  std::string _deleting;     // the part whose deletion began, its widget hidden, until the next scene
  int _type = 0;
  std::array<std::array<double, 3>, 3> _geometry{};
  double _size = 0.1;
  double _color[3] = {0.79, 0.14, 0.57};
  bool _dragging = false;
  double _dragDistance = 0.0;
  double _grab[3] = {0, 0, 0};
  double _delta[3] = {0, 0, 0};       // the drag's move so far
  double _propOffset[3] = {0, 0, 0};  // a finished drag's move, until the server's scene shows it
};

}  // namespace zeltwidget
