#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include "Configuration.h"
#include "SceneViewSettings.h"
#include "VRSceneAdaptation.h"
#include "kvg/AnimationAttributes.h"
#include "kvg/BaseAttributes.h"
#include "kvg/BaseCanvasAttributes.h"
#include "kvg/BoundedPlaneAxisAttribute.h"
#include "kvg/CollectionNode.h"
#include "kvg/DrawableSession.h"
#include "kvg/GlyphAttributes.h"
#include "kvg/GridDrawable.h"
#include "kvg/LICDrawable.h"
#include "kvg/LabelDrawable.h"
#include "kvg/LineAttributes.h"
#include "kvg/PointSphereDrawable.h"
#include "kvg/PolyDataNode.h"
#include "kvg/PolyLineDrawable.h"
#include "kvg/RayTraceAttributes.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SceneGridDrawable.h"
#include "kvg/SphereDrawable.h"
#include "kvg/TriadDrawable.h"
#include "kvg/VectorSurfaceDrawable.h"
#include "kvg/WidgetDrawableAttributes.h"

namespace {

namespace fs = std::filesystem;
namespace A = VRSceneAdaptation;

// A session with a configuration of its own ("config.ini" in a fresh base folder).
class Adaptation : public ::testing::Test {
 protected:
  fs::path base;
  std::unique_ptr<kvg::DrawableSession> session;

  void SetUp() override {
    char tmpl[] = "/tmp/quonix-adapt-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    base = tmpl;
    useConfig("");
    session = std::make_unique<kvg::DrawableSession>(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
  }
  void TearDown() override {
    session.reset();
    // The next test loads its own configuration; reloading here would only complain about
    // the missing file beside the test program.
    unsetenv("QUONIX_BASE_DIR");
    fs::remove_all(base);
  }
  void useConfig(const std::string& text) {
    std::ofstream(base / "config.ini") << text;
    setenv("QUONIX_BASE_DIR", base.c_str(), 1);
    reloadConfigForTesting();
  }

  kvg::NodeRegistry& registry() { return session->getNodeRegistry(); }

  // A node entered in the scene table under its next key.
  template <class T>
  T* add(const std::string& name = std::string()) {
    kvg::Ptr<T> node(new T);
    node->setName(name);
    EXPECT_FALSE(registry().addNode(node).empty());
    return node.get();
  }
  // A drawable with base attributes (entered too, as a streamed scene has them).
  template <class T>
  T* addVisible(const std::string& name = std::string()) {
    T* drawable = add<T>(name);
    kvg::Ptr<kvg::BaseAttributes> base(new kvg::BaseAttributes);
    registry().addNode(base);
    drawable->addAttributes(base);
    return drawable;
  }
  static bool visible(const kvg::Drawable* drawable) { return drawable->hasBaseAttributes()->getVisibility(); }
};

vtkSmartPointer<vtkPolyData> pointsPolyData(int count) {
  vtkNew<vtkPoints> points;
  for (int i = 0; i < count; ++i) points->InsertNextPoint(i, 0, 0);
  auto polyData = vtkSmartPointer<vtkPolyData>::New();
  polyData->SetPoints(points);
  return polyData;
}

}  // namespace

TEST_F(Adaptation, CollectorMatchesTheExactClassPartOfEachKeyAndSkipsObjectsOfAnotherClass) {
  const struct {
    const char* key;
    bool collected;
  } cases[] = {{"LineAttributes", true},         {"LineAttributes_7", true},  {"LineAttributes_a", true},
               {"LineAttributes_1_2", false},    {"LineAttributesX_1", false}, {"LineAttribute_1", false},
               {"XLineAttributes_1", false}};
  kvg::NodeRegistry::NodeTable table;
  std::map<std::string, kvg::LineAttributes*> byKey;
  for (const auto& c : cases) {
    kvg::Ptr<kvg::LineAttributes> line(new kvg::LineAttributes);
    table[c.key] = line;
    byKey[c.key] = line.get();
  }
  // A key that names the class while the object is of another class.
  kvg::Ptr<kvg::GridDrawable> grid(new kvg::GridDrawable);
  table["LineAttributes_9"] = grid;
  // And one whose entry holds no object at all.
  table["LineAttributes_8"] = nullptr;
  registry().replaceNodes(table, {});

  const std::vector<kvg::LineAttributes*> found = A::collectAttributes<kvg::LineAttributes>(*session);
  for (const auto& c : cases) {
    const bool isFound = std::find(found.begin(), found.end(), byKey[c.key]) != found.end();
    EXPECT_EQ(isFound, c.collected) << c.key;
  }
  EXPECT_EQ(found.size(), 3u);
  // Every step passes the stray object over: no step reaches it through its key.
  A::AdaptSceneForVR(*session, SceneViewSettings(), true);
  EXPECT_TRUE(grid->getShowAxis());
  EXPECT_DOUBLE_EQ(byKey["LineAttributes_1_2"]->getLineWidth(), 1.0);
  EXPECT_DOUBLE_EQ(byKey["LineAttributes_7"]->getLineWidth(), 2.0);
}

TEST_F(Adaptation, RuntimeTableCountsOnlyWhileItsFlagIsSet) {
  kvg::Ptr<kvg::TriadDrawable> triad(new kvg::TriadDrawable);
  triad->addAttributes(kvg::Ptr<kvg::Attributes>(new kvg::BaseAttributes));
  registry().addRuntimeNode(triad);
  registry().setUseRuntimeNodes(false);
  A::hideTriads(*session);
  EXPECT_TRUE(visible(triad.get()));
  registry().setUseRuntimeNodes(true);
  A::hideTriads(*session);
  EXPECT_FALSE(visible(triad.get()));
}

TEST_F(Adaptation, ThinLinesAreWidenedToTwoPixels) {
  const struct {
    double before, after;
  } cases[] = {{1.0, 2.0}, {2.0, 2.0}, {3.5, 3.5}, {0.0, 2.0}};
  std::vector<kvg::LineAttributes*> lines;
  for (const auto& c : cases) {
    lines.push_back(add<kvg::LineAttributes>());
    lines.back()->setLineWidth(c.before);
  }
  A::enforceMinimumLineWidth(*session);
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_DOUBLE_EQ(lines[i]->getLineWidth(), cases[i].after) << i;
}

TEST_F(Adaptation, PickLineIsHiddenByExactNameAndClass) {
  auto* line = addVisible<kvg::PolyLineDrawable>("PickLine");
  auto* start = addVisible<kvg::SphereDrawable>("PickLineStart");
  auto* end = addVisible<kvg::SphereDrawable>("PickLineEnd");
  auto* sphereNamedLine = addVisible<kvg::SphereDrawable>("PickLine");
  auto* lineNamedStart = addVisible<kvg::PolyLineDrawable>("PickLineStart");
  auto* longerName = addVisible<kvg::PolyLineDrawable>("PickLine2");
  auto* withoutBase = add<kvg::PolyLineDrawable>("PickLine");
  A::hidePickLine(*session);
  EXPECT_FALSE(visible(line));
  EXPECT_FALSE(visible(start));
  EXPECT_FALSE(visible(end));
  EXPECT_TRUE(visible(sphereNamedLine));
  EXPECT_TRUE(visible(lineNamedStart));
  EXPECT_TRUE(visible(longerName));
  EXPECT_EQ(withoutBase->hasBaseAttributes(), nullptr);
}

TEST_F(Adaptation, TriadsScenegridsAndLabelsAreHiddenAxesOffTransparencyReset) {
  auto* triad = addVisible<kvg::TriadDrawable>();
  auto* sceneGrid = addVisible<kvg::SceneGridDrawable>();
  auto* label = addVisible<kvg::LabelDrawable>();
  auto* surface = addVisible<kvg::VectorSurfaceDrawable>();  // no glyph attributes: stays
  auto* grid = add<kvg::GridDrawable>();
  auto* planeAxis = add<kvg::BoundedPlaneAxisAttribute>();
  auto* canvas = add<kvg::BaseCanvasAttributes>();
  canvas->setTranparencyMode(1);
  // Labels are hidden whatever the configuration says.
  useConfig("showColorsForHighlighting = true\n");
  A::AdaptSceneForVR(*session, SceneViewSettings(), false);
  EXPECT_FALSE(visible(triad));
  EXPECT_FALSE(visible(sceneGrid));
  EXPECT_FALSE(visible(label));
  EXPECT_TRUE(visible(surface));
  EXPECT_FALSE(grid->getShowAxis());
  EXPECT_FALSE(planeAxis->getShowAxis());
  EXPECT_EQ(canvas->getTranparencyMode(), 0);
}

TEST_F(Adaptation, OnlyVectorSurfacesWithSpacedGlyphsAreHidden) {
  const int modes[] = {0, 1, 2};
  std::vector<kvg::VectorSurfaceDrawable*> surfaces;
  for (int mode : modes) {
    surfaces.push_back(addVisible<kvg::VectorSurfaceDrawable>());
    kvg::Ptr<kvg::GlyphAttributes> glyphs(new kvg::GlyphAttributes);
    glyphs->setSpacingMode(mode);
    surfaces.back()->addAttributes(glyphs);
  }
  A::hideSpacedGlyphSurfaces(*session);
  EXPECT_TRUE(visible(surfaces[0]));
  EXPECT_FALSE(visible(surfaces[1]));
  EXPECT_TRUE(visible(surfaces[2]));
}

TEST_F(Adaptation, HighlightingEndsVisibleOnlyWithShowColorsAndNeverHighlighted) {
  for (const bool show : {false, true}) {
    useConfig(show ? "showColorsForHighlighting = true\n" : "");
    auto* highlighted = add<kvg::BaseAttributes>();
    highlighted->setHighlightEnabled(true);
    auto* plain = add<kvg::BaseAttributes>();
    A::applyHighlighting(*session);
    EXPECT_EQ(highlighted->getVisibility(), show);
    EXPECT_FALSE(highlighted->getHighlightEnabled());
    EXPECT_TRUE(plain->getVisibility());
    registry().clear();
  }
}

TEST_F(Adaptation, AdvancedRenderingAndRayTracingAreTurnedOff) {
  auto* base = add<kvg::BaseAttributes>();
  base->setAdvancedRenderingEnabled(true);
  auto* rayTrace = add<kvg::RayTraceAttributes>();
  rayTrace->setEnabled(true);
  A::disableAdvancedRendering(*session);
  EXPECT_FALSE(base->getAdvancedRenderingEnabled());
  EXPECT_FALSE(rayTrace->getEnabled());
}

TEST_F(Adaptation, PointSpheresGetAUniformThreeComponentRadiusPerPoint) {
  useConfig("defaultPointRadius = 0.25\n");
  auto* drawable = add<kvg::PointSphereDrawable>();
  drawable->getPointSphereAttributes()->setRadiusDataArray("size");
  drawable->getPointSphereAttributes()->setRadiusRangeParams(1, 2, 3, 4);
  kvg::Ptr<kvg::CollectionNode> collection(new kvg::CollectionNode);
  kvg::Ptr<kvg::CollectionNode> nested(new kvg::CollectionNode);
  // Fresh poly data; one with a "radii" double array of the wrong shape; an empty one nested;
  // one with "radii" of floats; a node that is no poly data.
  kvg::Ptr<kvg::PolyDataNode> fresh(new kvg::PolyDataNode(pointsPolyData(3)));
  kvg::Ptr<kvg::PolyDataNode> existing(new kvg::PolyDataNode(pointsPolyData(4)));
  vtkNew<vtkDoubleArray> oldRadii;
  oldRadii->SetName("radii");
  oldRadii->SetNumberOfTuples(2);
  existing->getPolyData()->GetPointData()->AddArray(oldRadii);
  kvg::Ptr<kvg::PolyDataNode> empty(new kvg::PolyDataNode(pointsPolyData(0)));
  kvg::Ptr<kvg::PolyDataNode> floats(new kvg::PolyDataNode(pointsPolyData(2)));
  vtkNew<vtkFloatArray> floatRadii;
  floatRadii->SetName("radii");
  floats->getPolyData()->GetPointData()->AddArray(floatRadii);
  collection->addNode(fresh);
  collection->addNode(existing);
  collection->addNode(nested);
  nested->addNode(empty);
  nested->addNode(floats);
  collection->addNode(kvg::Ptr<kvg::Node>(new kvg::LineAttributes));
  drawable->setDataNode(collection);

  A::applyPointRadii(*session);

  const kvg::PointSphereAttributes* spheres = drawable->getPointSphereAttributes();
  EXPECT_EQ(spheres->getPointRadiusOption(), 1);
  EXPECT_EQ(spheres->getPointStyle(), 0);
  EXPECT_EQ(spheres->getRadiusDataArray(), "radii");
  double params[4];
  spheres->getRadiusRangeParams(params);
  EXPECT_EQ(std::vector<double>(params, params + 4), (std::vector<double>{0.0, 0.0, -1.0, -1.0}));

  EXPECT_EQ(existing->getPolyData()->GetPointData()->GetArray("radii"), oldRadii.GetPointer());
  for (const kvg::Ptr<kvg::PolyDataNode>& node : {fresh, existing, empty, floats}) {
    vtkPolyData* polyData = node->getPolyData();
    auto* radii = vtkDoubleArray::SafeDownCast(polyData->GetPointData()->GetAbstractArray("radii"));
    ASSERT_NE(radii, nullptr);
    EXPECT_EQ(radii->GetNumberOfComponents(), 3);
    ASSERT_EQ(radii->GetNumberOfTuples(), polyData->GetNumberOfPoints());
    for (vtkIdType i = 0; i < radii->GetNumberOfValues(); ++i) EXPECT_DOUBLE_EQ(radii->GetValue(i), 0.25);
    EXPECT_EQ(polyData->GetPointData()->GetNumberOfArrays(), 1);
  }
}

TEST_F(Adaptation, PointSpheresWithoutACollectionGetOnlyTheirAttributeChangesAtTheDefaultRadius) {
  auto* drawable = add<kvg::PointSphereDrawable>();
  kvg::Ptr<kvg::PolyDataNode> direct(new kvg::PolyDataNode(pointsPolyData(2)));
  drawable->setDataNode(direct);
  A::applyPointRadii(*session);
  EXPECT_EQ(drawable->getPointSphereAttributes()->getRadiusDataArray(), "radii");
  EXPECT_EQ(direct->getPolyData()->GetPointData()->GetArray("radii"), nullptr);

  kvg::Ptr<kvg::CollectionNode> collection(new kvg::CollectionNode);
  collection->addNode(direct);
  drawable->setDataNode(collection);
  A::applyPointRadii(*session);
  vtkDataArray* radii = direct->getPolyData()->GetPointData()->GetArray("radii");
  ASSERT_NE(radii, nullptr);
  EXPECT_DOUBLE_EQ(radii->GetComponent(1, 2), 0.005);
}

TEST_F(Adaptation, LicDrawablesLoseOnlyCollectionData) {
  auto* withCollection = add<kvg::LICDrawable>();
  withCollection->setDataNode(kvg::Ptr<kvg::Object>(new kvg::CollectionNode));
  auto* withPolyData = add<kvg::LICDrawable>();
  kvg::Ptr<kvg::PolyDataNode> polyData(new kvg::PolyDataNode);
  withPolyData->setDataNode(polyData);
  const uint64_t before = withCollection->getMTime();
  A::refreshLicDrawables(*session);
  EXPECT_TRUE(withCollection->getDataNode().isNull());
  EXPECT_GT(withCollection->getMTime(), before);
  EXPECT_EQ(withPolyData->getDataNode().getObject(), polyData.get());
}

TEST_F(Adaptation, WidgetAttributesTakeTheSnappingAngleAndTheConfiguredOrDefaultColours) {
  SceneViewSettings settings;
  settings.snappingAngle = 45.0;
  auto* widget = add<kvg::WidgetDrawableAttributes>();
  widget->setWidgetHighlightColor(kvg::Vec3{0, 0, 0});
  widget->setWidgetDefaultColor(kvg::Vec3{0, 0, 0});
  A::applyWidgetColors(*session, settings);
  EXPECT_DOUBLE_EQ(widget->getSnappingAngle(), 45.0);
  EXPECT_EQ(widget->getWidgetHighlightColor(), (kvg::Vec3{0.79, 0.14, 0.57}));
  EXPECT_EQ(widget->getWidgetDefaultColor(), (kvg::Vec3{0.39, 0.1, 0.37}));

  useConfig("widgetHighlightColor = [1, 0.5, 0.25]\nwidgetDefaultColor = [0.1, 0.2, 0.3]\n");
  A::applyWidgetColors(*session, settings);
  EXPECT_EQ(widget->getWidgetHighlightColor(), (kvg::Vec3{1, 0.5, 0.25}));
  EXPECT_EQ(widget->getWidgetDefaultColor(), (kvg::Vec3{0.1, 0.2, 0.3}));
}

TEST_F(Adaptation, AnimationsStopOnlyWhenAsked) {
  auto* animation = add<kvg::AnimationAttributes>();
  A::AdaptSceneForVR(*session, SceneViewSettings(), false);
  EXPECT_TRUE(animation->getAnimationEnabled());
  A::AdaptSceneForVR(*session, SceneViewSettings(), true);
  EXPECT_FALSE(animation->getAnimationEnabled());
}

TEST_F(Adaptation, EmptySessionIsLeftAsItIs) {
  A::AdaptSceneForVR(*session, SceneViewSettings(), true);
  EXPECT_EQ(registry().size(), 0u);
}
