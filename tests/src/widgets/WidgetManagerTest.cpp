// The part-widget manager against the real widget library (loaded as the program loads it) on a
// drawable scene with one part of each kind: the records, the event exchange, picking within
// the tolerance, the plane proxies' snapping and the proxies taken over at a buffer swap.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <vtkCallbackCommand.h>
#include <vtkGenericRenderWindowInteractor.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>

#include "Configuration.h"
#include "Error.h"
#include "ControllerInput.h"
#include "OpenVRActor.h"
#include "SceneViewSettings.h"
#include "ServerCommandSender.h"
#include "ToolSet.h"
#include "VRWidgetCommandHandler.h"
#include "VRWidgetManager.h"
#include "VrTestSupport.h"
#include "WidgetEvent.h"
#include "kvg/DrawableProp.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/GenericWindowResourceManager.h"
#include "kvg/RendererNodeStream.h"
#include "kvg/SceneCanvasRenderer.h"
#include "kvg/SceneRecordBuilder.h"

namespace {

bool loadWidgetLibrary() {
  static void* handle = dlopen(ZELT_WIDGET_LIBRARY, RTLD_NOW | RTLD_GLOBAL);
  if (!handle) ADD_FAILURE() << dlerror();
  return handle != nullptr;
}

Properties part(const char* name, const char* kind, double size, bool highlighted,
                std::vector<std::pair<const char*, std::vector<double>>> geometry) {
  Properties p, base;
  p.set("type", "Part");
  p.set("part", kind);
  p.set("name", name);
  p.set("size", size);
  for (auto& entry : geometry) p.set(entry.first, entry.second);
  base.set("highlighted", highlighted);
  p.set("base", base);
  return p;
}

// The scene record the server would send, the given part highlighted.
Properties sceneRecord(const std::string& highlighted) {
  Properties drawables;
  drawables.set("PointPart 1", part("PointPart 1", "PointPart", 0.2, highlighted == "PointPart 1",
                                    {{"position", {-1.0, 0.0, 0.0}}}));
  drawables.set("LinePart 1", part("LinePart 1", "LinePart", 0.1, highlighted == "LinePart 1",
                                   {{"point1", {0.0, -1.0, 0.0}}, {"point2", {0.0, 1.0, 0.0}}}));
  drawables.set("PlaneSection 1", part("PlaneSection 1", "PlaneSection", 0.8, highlighted == "PlaneSection 1",
                                       {{"origin", {1.0, 0.0, 0.0}}, {"normal", {0.0, 0.0, 1.0}}}));
  Properties content, canvas, record;
  content.set("drawables", drawables);
  canvas.set("title", "Parts");
  record.set("CanvasKey", "SceneCanvas_1");
  record.set("Canvas", canvas);
  record.set("FrameContent", content);
  return record;
}

// Records every command instead of sending it.
class RecordingSender : public ServerCommandSender {
 public:
  bool sendCommand(const std::string&, const Properties&, Properties&) override { return true; }
  ServerConnection* getServerConnection() const override { return nullptr; }
};

// Receives the session's callbacks (the library's moved parts).
class Callbacks : public kvg::DrawableSession::CallbackForwarder {
 public:
  void forward(kvg::DrawableSession*, const Properties& callback) override { received.push_back(callback); }
  std::vector<Properties> received;
};

// One drawable session showing the scene in a render window with an interactor.
class PartScene {
 public:
  PartScene() : session(nextHandle(), -1) {
    window->SetInteractor(interactor);
    session.setCallbackForwarder(&callbacks);
    scene = session.getDrawableScenes().createScene(
        std::make_unique<kvg::GenericWindowResourceManager>(window.GetPointer(), false), "SceneCanvas_1");
  }
  ~PartScene() { session.setCallbackForwarder(nullptr); }
  // A server update: the record streamed in and the scene updated, as the back buffer does.
  void receive(const Properties& record) {
    kvg::RendererNodeStream stream(session, kvg::RendererNodeStream::ReplaceScene);
    kvg::SceneRecordBuilder builder(stream, std::string());
    ASSERT_TRUE(builder.buildRecord(record)) << builder.getError();
    stream.commit();
    scene->update(false);
  }
  vtkRenderer* renderer() const { return scene->hasModelRenderer()->getVTKRenderer(); }

  static kvg::Handle nextHandle() {
    static kvg::Handle handle = 5000;
    return ++handle;
  }

  vtkNew<vtkRenderWindow> window;
  vtkNew<vtkGenericRenderWindowInteractor> interactor;
  Callbacks callbacks;
  kvg::DrawableSession session;
  kvg::DrawableScene* scene = nullptr;
};

// A hand at the room origin looking along -z (the model matrix maps the room onto the scene).
struct Hands {
  Hands() {
    for (auto& in : inputs) {
      in.deviceIndex = 1;
      std::memset(in.position, 0, sizeof(in.position));
    }
    identityMatrix(model);
  }
  static void identityMatrix(double m[16]) {
    std::memset(m, 0, 16 * sizeof(double));
    m[0] = m[5] = m[10] = m[15] = 1.0;
  }
  void at(int hand, double x, double y, double z) {
    inputs[hand].position[0] = x;
    inputs[hand].position[1] = y;
    inputs[hand].position[2] = z;
  }
  ControllerInput inputs[2];
  ToolSet tools[2];
  double model[16];
};

class WidgetManager : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(loadWidgetLibrary()); }
  // The tool tip is the controller's position.
  ScopedBaseDir base{"toolsOffset = [0, 0, 0]\n"};
};

}  // namespace

TEST(WidgetRecords, ResetValuesAndLongPartNamesSurviveTheCopies) {
  WidgetEvent event;
  EXPECT_EQ(event.direction[2], 1.0);
  EXPECT_EQ(event.auxVector[2], 1.0);
  EXPECT_EQ(event.factorA, 1.0);
  EXPECT_EQ(event.factorB, 1.0);
  EXPECT_EQ(event.laserAngle, 0.0);
  EXPECT_EQ(event.lockRotationAngle, 60.0);
  // Inside a reset event both matrices and the widget scale are zero ...
  EXPECT_EQ(event.state.widgetScale, 0.0);
  EXPECT_EQ(event.state.widgetRotation[0], 0.0);
  EXPECT_EQ(event.state.widgetMatrix[15], 0.0);
  // ... after WidgetState::reset they are identity and 1.
  WidgetState state;
  state.widgetRotation[5] = 7.0;
  state.reset();
  EXPECT_EQ(state.widgetScale, 1.0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(state.widgetRotation[i], i % 5 == 0 ? 1.0 : 0.0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(state.widgetMatrix[i], i % 5 == 0 ? 1.0 : 0.0);
  const std::string longName(100, 'x');
  state.widgetPart = longName;
  event.state = state;
  WidgetState back;
  back = event.state;
  EXPECT_EQ(back.widgetPart, longName);
}

TEST_F(WidgetManager, PickSelectDragAndEndAgainstTheWidgetLibrary) {
  PartScene scene;
  scene.receive(sceneRecord(""));
  RecordingSender sender;
  VRWidgetCommandHandler handler(&sender);  // not started: commands stay queued
  VRWidgetManager manager;
  manager.initialize(&handler, "Parts", scene.interactor);
  manager.collectPartProps(scene.renderer());
  Hands hands;

  // The laser from (-1, 0, 2) along -z meets the point part: it is selected and highlighted.
  hands.at(1, -1.0, 0.0, 2.0);
  manager.update(*scene.scene, 1, hands.inputs, hands.tools, hands.model, 10.0, 1.0, 1.0);
  EXPECT_EQ(manager.selectedPart(), "PointPart 1");
  ServerCommand sent = ServerCommand();
  ASSERT_TRUE(handler.hasPending());
  // Picking it again before the swap queues nothing more.
  manager.update(*scene.scene, 1, hands.inputs, hands.tools, hands.model, 10.0, 1.0, 1.0);

  // The server's highlight arrives: the library shows the widget and names it on 1007.
  scene.receive(sceneRecord("PointPart 1"));
  manager.collectPartProps(scene.renderer());
  manager.syncFrom(manager, *scene.scene, SceneViewSettings(), 0);
  EXPECT_EQ(manager.widgetState().widgetPart, "PointPart 1");
  EXPECT_EQ(manager.widgetState().committedGeometry[0][0], -1.0);

  // Trigger held on the widget: 1002 starts the drag (the library answers state 1).
  hands.inputs[1].triggerHeld = true;
  manager.update(*scene.scene, 1, hands.inputs, hands.tools, hands.model, 10.0, 1.0, 1.0);
  ASSERT_TRUE(manager.isInteracting());
  EXPECT_EQ(manager.activeHand(), 1);
  // The hand moves 0.5 up: 1001 drags the widget along.
  hands.at(1, -1.0, 0.5, 2.0);
  manager.update(*scene.scene, 1, hands.inputs, hands.tools, hands.model, 10.0, 1.0, 1.0);
  EXPECT_NEAR(manager.widgetState().interactiveGeometry[0][1], 0.5, 1e-9);
  EXPECT_NEAR(manager.widgetState().widgetPosition[1], 0.5, 1e-9);
  // Released: 1003 ends the drag and the library sends the part's new place to the server.
  hands.inputs[1].triggerHeld = false;
  manager.update(*scene.scene, 1, hands.inputs, hands.tools, hands.model, 10.0, 1.0, 1.0);
  EXPECT_FALSE(manager.isInteracting());
  ASSERT_FALSE(scene.callbacks.received.empty());
  const Properties& moved = scene.callbacks.received.back();
  EXPECT_EQ(moved.getString("MethodName"), "notifyKvgNode");
  const Properties args = moved.getProperties("Arguments");
  EXPECT_EQ(args.getString("Part"), "PointPart 1");
  EXPECT_EQ(args.getString("Scene"), "SceneCanvas_1");
  std::vector<double> position;
  ASSERT_TRUE(args.get("Position", position));
  EXPECT_NEAR(position[1], 0.5, 1e-9);
}

// Refuses every command of one name, with a reason; answers the others.
class RefusingSender : public ServerCommandSender {
 public:
  explicit RefusingSender(std::string refused) : _refused(std::move(refused)) {}
  bool sendCommand(const std::string& command, const Properties&, Properties& reply) override {
    if (command == _refused) Error::set(reply, Error::COMMAND_FAILED, "the section is in use");
    return true;
  }
  ServerConnection* getServerConnection() const override { return nullptr; }

 private:
  std::string _refused;
};

// The library shows the widget of the part that this program's connection highlights, not of
// another's; a deletion the server refuses brings the widget back at once, selected, and its
// reason is kept for the user.
TEST_F(WidgetManager, OwnHighlightShowsAndARefusedDeletionBringsTheWidgetBack) {
  PartScene scene;
  scene.receive(sceneRecord(""));
  RefusingSender sender("DeletePlaneSection");
  VRWidgetCommandHandler handler(&sender);  // started once the deletion is queued
  VRWidgetManager manager;
  manager.initialize(&handler, "Parts", scene.interactor);
  manager.collectPartProps(scene.renderer());
  // The program's command connection reaches the library with the records sent with the state.
  WidgetEvent withConnection;
  withConnection.state.connectionId = 77;
  scene.interactor->InvokeEvent(1008, &withConnection);
  auto activePart = [&] {
    WidgetEvent query;
    scene.interactor->InvokeEvent(1007, &query);
    return query.state.widgetPart;
  };

  ASSERT_TRUE(manager.handlePartSelection("PlaneSection 1"));
  // The server's frame: connection 88 highlights the point part, this one (77) the section.
  Properties record = sceneRecord("");
  Properties drawables = record.getProperties("FrameContent").getProperties("drawables");
  Properties point = drawables.getProperties("PointPart 1"), section = drawables.getProperties("PlaneSection 1");
  point.set("highlightedBy", std::vector<std::string>{"88"});
  section.set("highlightedBy", std::vector<std::string>{"77", "88"});
  drawables.set("PointPart 1", point);
  drawables.set("PlaneSection 1", section);
  Properties content;
  content.set("drawables", drawables);
  record.set("FrameContent", content);
  scene.receive(record);
  manager.collectPartProps(scene.renderer());
  manager.syncFrom(manager, *scene.scene, SceneViewSettings(), 0);
  EXPECT_EQ(activePart(), "PlaneSection 1");
  EXPECT_EQ(manager.widgetState().widgetPart, "PlaneSection 1");

  // West deletes the section: its widget goes; the server refuses.
  Hands hands;
  hands.inputs[0].direction = DirectionWest;
  hands.inputs[0].directionPressed = true;
  ASSERT_TRUE(manager.handleTool(*scene.scene, 0, hands.inputs, hands.tools, hands.model, 1.0, 1.0, 1.0, nullptr,
                                 SceneViewSettings()));
  EXPECT_FALSE(manager.hasSelectedPart());
  EXPECT_EQ(activePart(), "");
  hands.inputs[0].directionPressed = false;
  hands.inputs[0].direction = DirectionNone;
  ASSERT_TRUE(handler.start());
  for (int i = 0; i < 500 && !manager.hasSelectedPart(); ++i) {
    manager.updateInteractive(hands.inputs, hands.tools, hands.model, 1.0, 1.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(manager.selectedPart(), "PlaneSection 1");
  EXPECT_EQ(activePart(), "PlaneSection 1");
  EXPECT_EQ(manager.widgetState().widgetPart, "PlaneSection 1");
  EXPECT_EQ(manager.widgetState().committedGeometry[0][0], 1.0);
  EXPECT_EQ(manager.takeRefusalMessage(), "The server refused DeletePlaneSection: the section is in use");
  EXPECT_EQ(manager.takeRefusalMessage(), "");
  int shown = 0;
  vtkPropCollection* props = scene.renderer()->GetViewProps();
  props->InitTraversal();
  while (vtkProp* prop = props->GetNextProp()) {
    auto* drawable = kvg::DrawableProp::SafeDownCast(prop);
    if (drawable && drawable->GetDrawableName() == "PlaneSection 1:widget") shown += prop->GetVisibility();
  }
  EXPECT_EQ(shown, 1) << "the section's widget is not shown again";
  handler.stopThread();
}

TEST_F(WidgetManager, PicksWithinThePickingToleranceOnly) {
  PartScene scene;
  scene.receive(sceneRecord(""));
  VRWidgetManager manager;
  manager.initialize(nullptr, "Parts", scene.interactor);
  manager.collectPartProps(scene.renderer());
  // The line part runs along y at x = 0; a ray along -z passes it at distance |x|.
  struct Case {
    double x, toleranceFactor;
    const char* picked;
  } cases[] = {{0.004, 1.0, "LinePart 1"}, {0.006, 1.0, ""}, {0.006, 2.0, "LinePart 1"}, {0.011, 2.0, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    const double tip[3] = {c.x, 0.0, 2.0}, direction[3] = {0.0, 0.0, -1.0};
    double hit = 0.0;
    EXPECT_EQ(manager.pickRay(*scene.scene, tip, direction, 10.0, c.toleranceFactor, nullptr, hit), c.picked);
    if (*c.picked) EXPECT_NEAR(hit, 2.0, 0.02);
  }
}

TEST(PlaneProxy, SnapsWithinTheSnappingAngleAndScalesWithTheModel) {
  SceneViewSettings settings;  // snapping angle 15
  double orientation[16];
  Hands::identityMatrix(orientation);  // forward axis (0, 0, 1)
  const double origin[3] = {0, 0, 0};
  struct Case {
    double n[3];
    bool snapsToY;
  } cases[] = {{{0.1, 0.995, 0.0}, true},   // 6 degrees off y
               {{0.5, 0.866, 0.0}, false},  // 30 degrees off: stays tilted
               {{0.2, 1.99, 0.0}, true},    // the same 6 degrees, not of unit length
               {{0.0, -3.0, 0.0}, true}};   // axis-aligned, long, downwards
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n[0]);
    kvg::Ptr<VRWidgetManager::PlaneProxy> proxy(new VRWidgetManager::PlaneProxy);
    proxy->setup(orientation, origin, c.n, 2.0, nullptr, settings);
    vtkMatrix4x4* m = proxy->actor->GetUserMatrix();
    // Column 1 is the disc's axis, scaled by "planeProxySize" x model scale = 0.4.
    const double axis[3] = {m->GetElement(0, 1), m->GetElement(1, 1), m->GetElement(2, 1)};
    if (c.snapsToY) {
      EXPECT_NEAR(axis[0], 0.0, 1e-12);
      EXPECT_NEAR(std::fabs(axis[1]), 0.4, 1e-12);
    } else {
      EXPECT_GT(std::fabs(axis[0]), 0.1);
    }
  }
  // A unit normal perpendicular to the forward axis: a circular disc 0.4 across.
  kvg::Ptr<VRWidgetManager::PlaneProxy> proxy(new VRWidgetManager::PlaneProxy);
  const double up[3] = {0, 1, 0};
  proxy->setup(orientation, origin, up, 2.0, nullptr, settings);
  vtkMatrix4x4* m = proxy->actor->GetUserMatrix();
  for (int column : {0, 2}) {
    const double length = std::sqrt(std::pow(m->GetElement(0, column), 2) + std::pow(m->GetElement(1, column), 2) +
                                    std::pow(m->GetElement(2, column), 2));
    EXPECT_NEAR(length, 0.4, 1e-12) << column;
  }
}

TEST_F(WidgetManager, ClonesOfASectionLeaveProxiesThatTheSwapTakesOverFromTheStartIndex) {
  PartScene scene;
  scene.receive(sceneRecord(""));
  RecordingSender sender;
  VRWidgetCommandHandler handler(&sender);
  VRWidgetManager manager, other;
  manager.initialize(&handler, "Parts", scene.interactor);
  other.initialize(&handler, "Parts", scene.interactor);
  manager.collectPartProps(scene.renderer());
  Hands hands;
  // The laser meets the section's frame; the server highlights it, and its widget shows.
  hands.at(1, 0.6, 0.0, 2.0);
  manager.update(*scene.scene, 1, hands.inputs, hands.tools, hands.model, 10.0, 1.0, 1.0);
  ASSERT_EQ(manager.selectedPart(), "PlaneSection 1");
  scene.receive(sceneRecord("PlaneSection 1"));
  manager.collectPartProps(scene.renderer());
  hands.at(1, 1.0, 0.2, 2.0);  // inside the widget
  manager.update(*scene.scene, 1, hands.inputs, hands.tools, hands.model, 10.0, 1.0, 1.0);
  ASSERT_EQ(manager.selectedPart(), "PlaneSection 1");
  EXPECT_EQ(manager.activeHand(), 1);
  // South twice: two copies at the controller, each with its proxy disc.
  hands.inputs[1].directionPressed = true;
  hands.inputs[1].direction = DirectionSouth;
  for (int i = 0; i < 2; ++i)
    EXPECT_TRUE(manager.handleTool(*scene.scene, 1, hands.inputs, hands.tools, hands.model, 1.0, 1.0, 1.0,
                                   scene.renderer(), SceneViewSettings()));
  ASSERT_EQ(manager.planeProxyCount(), 2u);
  // A hand's offset ahead of the tip, the disc 5 mm back towards the hand.
  EXPECT_NEAR(manager.planeProxy(0)->position[2], 2.0 - 0.1 + 0.005, 1e-9);
  // The swap: from the start index on; an index below 0 counts from the first, one beyond none.
  for (auto [start, expected] : std::vector<std::pair<int, size_t>>{{1, 1}, {-3, 2}, {0, 2}, {5, 0}}) {
    other.syncFrom(manager, *scene.scene, SceneViewSettings(), start);
    EXPECT_EQ(other.planeProxyCount(), expected) << start;
  }
}

namespace {

// A widget library of the test's own: answers 1007 with `active`, starts a drag on 1002 and
// ends it on 1003, and records each event with its interactive flag.
class FakeLibrary {
 public:
  explicit FakeLibrary(vtkRenderWindowInteractor* interactor) {
    command->SetCallback(&FakeLibrary::onEvent);
    command->SetClientData(this);
    // Ahead of the widget library this process has loaded, which observes every scene too.
    for (unsigned long id = 1001; id <= 1008; ++id) interactor->AddObserver(id, command, 1.0f);
  }
  static void onEvent(vtkObject*, unsigned long id, void* self, void* data) {
    auto* me = static_cast<FakeLibrary*>(self);
    auto* e = static_cast<WidgetEvent*>(data);
    me->events.push_back({id, e->interactive != 0});
    if (id == 1007) e->state.widgetPart = me->active;
    if (id == 1002) e->state.state = 1;
    if (id == 1003) e->state.state = 0;
    me->command->AbortFlagOn();
  }
  std::vector<unsigned long> ids(unsigned long only = 0) const {
    std::vector<unsigned long> out;
    for (auto& e : events)
      if (!only || e.first == only) out.push_back(e.first);
    return out;
  }
  int interactiveCount() const {
    int n = 0;
    for (auto& e : events) n += e.first == 1001 && e.second;
    return n;
  }
  vtkNew<vtkCallbackCommand> command;
  std::string active;
  std::vector<std::pair<unsigned long, bool>> events;
};

// A handler whose queue the test empties by hand (its thread never runs).
struct Channel {
  RecordingSender sender;
  VRWidgetCommandHandler handler{&sender};
};

}  // namespace

TEST(WidgetManagerRules, PartTypesAndPickedNames) {
  VRWidgetManager manager;
  manager.initialize(nullptr, "S", nullptr);
  const std::pair<const char*, int> cases[] = {{"PointPart 3", 1}, {"LinePart 1", 2},   {"PlaneSection 1", 3},
                                               {"PlaneProbePart 1", 4}, {"None PointPart", 0}, {"Wing", 0}};
  for (auto& c : cases) EXPECT_EQ(manager.partTypeOf(c.first), c.second) << c.first;
  // Without an interactor update only reports it.
  testing::internal::CaptureStderr();
  PartScene scene;
  Hands hands;
  manager.update(*scene.scene, 0, hands.inputs, hands.tools, hands.model, 10.0, 1.0, 1.0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: vtkRenderWindowInteractor is nullptr\n");
}

TEST(WidgetManagerRules, SelectionWaitsForAnEmptyQueueAndIsSentOncePerSwap) {
  vtkNew<vtkGenericRenderWindowInteractor> interactor;
  FakeLibrary library(interactor);
  Channel channel;
  VRWidgetManager manager;
  manager.initialize(&channel.handler, "S", interactor);
  // A command still queued: the selection is not taken.
  channel.handler.push(ServerCommand{"DeletePointPart", Properties()});
  EXPECT_FALSE(manager.handlePartSelection("PointPart 1"));
  EXPECT_FALSE(manager.hasSelectedPart());
  VRWidgetCommandHandler empty(&channel.sender);
  manager.initialize(&empty, "S", interactor);
  EXPECT_TRUE(manager.handlePartSelection("PointPart 1"));
  EXPECT_EQ(manager.selectedPart(), "PointPart 1");
  // The same part again: nothing, also once the queue is empty, until the swap.
  EXPECT_FALSE(manager.handlePartSelection("PointPart 1"));
  PartScene scene;
  manager.syncFrom(manager, *scene.scene, SceneViewSettings(), 0);
  // After the swap the library's answer decides: its widget already shows the part.
  library.active = "PointPart 1";
  EXPECT_FALSE(manager.handlePartSelection("PointPart 1"));
}

TEST(WidgetManagerRules, InteractiveUpdatesOncePerSwapAndNeverForSectionsByDefault) {
  PartScene scene;
  scene.receive(sceneRecord(""));
  struct Case {
    const char* part;
    double x;  // where the laser meets the part
    const char* config;
    int interactive;  // updates with the flag over five drag frames and no swap
  } cases[] = {{"PointPart 1", -1.0, "", 1},
               {"PlaneSection 1", 0.6, "", 0},
               {"PlaneSection 1", 0.6, "useInteractiveUpdatesForPlaneWidgets = true\n", 1},
               {"PointPart 1", -1.0, "widgetUpdateFrequency = 0\n", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.part) + " " + c.config);
    ScopedBaseDir base(std::string("toolsOffset = [0, 0, 0]\n") + c.config);
    FakeLibrary library(scene.interactor);
    RecordingSender sender;
    VRWidgetCommandHandler handler(&sender);
    VRWidgetManager manager;
    manager.initialize(&handler, "S", scene.interactor);
    manager.collectPartProps(scene.renderer());
    ASSERT_TRUE(manager.handlePartSelection(c.part));
    library.active = c.part;  // the server's highlight arrived: the library shows the widget
    // The highlight went out: the queue is empty again.
    VRWidgetCommandHandler idle(&sender);
    manager.initialize(&idle, "S", scene.interactor);
    manager.collectPartProps(scene.renderer());
    Hands hands;
    hands.at(1, c.x, 0.0, 2.0);
    hands.inputs[1].triggerHeld = true;
    for (int frame = 0; frame < 5; ++frame)
      manager.update(*scene.scene, 1, hands.inputs, hands.tools, hands.model, 10.0, 1.0, 1.0);
    EXPECT_EQ(library.ids(1002).size(), 1u);
    EXPECT_EQ(library.ids(1001).size(), 4u);
    EXPECT_EQ(library.interactiveCount(), c.interactive);
    scene.interactor->RemoveObserver(library.command);
  }
}

TEST(WidgetManagerRules, WestDeletesOnceWhileHeldAndTheLatchEndsOnRelease) {
  vtkNew<vtkGenericRenderWindowInteractor> interactor;
  FakeLibrary library(interactor);
  RecordingSender sender;
  VRWidgetCommandHandler handler(&sender);
  VRWidgetManager manager;
  manager.initialize(&handler, "S", interactor);
  ASSERT_TRUE(manager.handlePartSelection("LinePart 1"));
  PartScene scene;
  Hands hands;
  ControllerInput& in = hands.inputs[0];
  in.direction = DirectionWest;
  in.directionPressed = true;
  in.padHeld = true;
  auto tool = [&] {
    return manager.handleTool(*scene.scene, 0, hands.inputs, hands.tools, hands.model, 1.0, 1.0, 1.0, nullptr,
                              SceneViewSettings());
  };
  EXPECT_TRUE(tool());
  EXPECT_FALSE(manager.hasSelectedPart());
  EXPECT_EQ(library.ids(1006).size(), 1u);
  in.directionPressed = false;
  EXPECT_TRUE(tool());  // still held: consumed, nothing repeated
  manager.updateInteractive(hands.inputs, hands.tools, hands.model, 1.0, 1.0);
  EXPECT_TRUE(tool());
  in.padHeld = false;
  in.direction = DirectionNone;
  manager.updateInteractive(hands.inputs, hands.tools, hands.model, 1.0, 1.0);
  EXPECT_FALSE(tool());
  EXPECT_EQ(library.ids(1006).size(), 1u);
}
