// The scene holding every class the VR adaptation changes, adapted through the calls the
// adaptation makes: each class is found by its registry key and answers those calls.
#include <gtest/gtest.h>

#include <vtkDoubleArray.h>
#include <vtkPointData.h>

#include "SceneCorpus.h"
#include "kvg/AnimationAttributes.h"
#include "kvg/BoundedPlaneAxisAttribute.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/GridDrawable.h"
#include "kvg/LICDrawable.h"
#include "kvg/LabelDrawable.h"
#include "kvg/PartDrawable.h"
#include "kvg/PointSphereDrawable.h"
#include "kvg/PolyDataNode.h"
#include "kvg/PolyLineDrawable.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SDBReader.h"
#include "kvg/SceneGridDrawable.h"
#include "kvg/SphereDrawable.h"
#include "kvg/SurfaceDrawable.h"
#include "kvg/TriadDrawable.h"
#include "kvg/VectorSurfaceDrawable.h"
#include "kvg/VolumeDrawable.h"

namespace {

class Adaptation : public ::testing::Test {
 protected:
  void SetUp() override {
    session = std::make_unique<kvg::DrawableSession>(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
    kvg::SDBReader reader;
    ASSERT_EQ(reader.open(wide(corpus("every_class.sce"))), 0) << reader.getLastError();
    Properties record;
    record.set("FrameSet", 0);
    record.set("Frame", 0);
    kvg::RendererNodeStream stream(*session);
    ASSERT_TRUE(reader.loadRecord(record, stream)) << reader.getLastError();
  }
  template <class T>
  std::vector<T*> all() {
    std::vector<T*> found = session->getNodeRegistry().findNodesOfClass<T>();
    EXPECT_FALSE(found.empty()) << T::getClassName();
    return found;
  }
  template <class T>
  T* named(const std::string& name) {
    for (T* t : all<T>())
      if (t->getName() == name) return t;
    ADD_FAILURE() << "no " << T::getClassName() << " named " << name;
    return nullptr;
  }
  static void hide(kvg::Drawable* d) {
    if (kvg::BaseAttributes* b = d->hasBaseAttributes()) b->setVisibility(false, false);
  }
  static bool visible(kvg::Drawable* d) { return !d->hasBaseAttributes() || d->hasBaseAttributes()->getVisibility(); }

  std::unique_ptr<kvg::DrawableSession> session;
};

}  // namespace

TEST_F(Adaptation, LinesWidenPickLineAndDecorationsHide) {
  for (kvg::LineAttributes* l : all<kvg::LineAttributes>())
    if (l->getLineWidth() <= 2.0) l->setLineWidth(2.0);
  std::vector<double> widths;
  for (kvg::LineAttributes* l : all<kvg::LineAttributes>()) widths.push_back(l->getLineWidth());
  EXPECT_EQ(std::count(widths.begin(), widths.end(), 3.5), 1);
  EXPECT_EQ(std::count(widths.begin(), widths.end(), 2.0), long(widths.size()) - 1);

  for (kvg::TriadDrawable* t : all<kvg::TriadDrawable>()) hide(t);
  for (kvg::BoundedPlaneAxisAttribute* a : all<kvg::BoundedPlaneAxisAttribute>()) a->setShowAxis(false);
  for (kvg::GridDrawable* g : all<kvg::GridDrawable>()) g->setShowAxis(false);
  for (kvg::PolyLineDrawable* p : all<kvg::PolyLineDrawable>())
    if (p->getName() == "PickLine") hide(p);
  for (kvg::SphereDrawable* s : all<kvg::SphereDrawable>())
    if (s->getName() == "PickLineStart" || s->getName() == "PickLineEnd") hide(s);
  EXPECT_FALSE(visible(named<kvg::PolyLineDrawable>("PickLine")));
  EXPECT_FALSE(visible(named<kvg::SphereDrawable>("PickLineEnd")));
  EXPECT_TRUE(visible(named<kvg::SphereDrawable>("PickLine")));
  EXPECT_TRUE(visible(named<kvg::PolyLineDrawable>("PickLineStart")));
  EXPECT_TRUE(visible(named<kvg::PolyLineDrawable>("PickLineX")));
  for (kvg::LabelDrawable* l : all<kvg::LabelDrawable>()) hide(l);
  for (kvg::SceneGridDrawable* g : all<kvg::SceneGridDrawable>()) hide(g);
  EXPECT_FALSE(visible(all<kvg::TriadDrawable>()[0]));
  EXPECT_FALSE(all<kvg::GridDrawable>()[0]->getShowAxis());
}

TEST_F(Adaptation, CanvasHighlightAdvancedRenderingAndGlyphs) {
  kvg::BaseCanvasAttributes* canvas = all<kvg::BaseCanvasAttributes>()[0];
  EXPECT_EQ(canvas->getTranparencyMode(), 1);
  canvas->setTranparencyMode(0);

  for (kvg::VectorSurfaceDrawable* v : all<kvg::VectorSurfaceDrawable>())
    if (kvg::GlyphAttributes* g = v->hasGlyphAttributes())
      if (g->getSpacingMode() == 1) hide(v);
  EXPECT_FALSE(visible(named<kvg::VectorSurfaceDrawable>("Spaced arrows")));
  EXPECT_TRUE(visible(named<kvg::VectorSurfaceDrawable>("Every arrow")));
  EXPECT_TRUE(visible(named<kvg::VectorSurfaceDrawable>("No glyph attributes")));

  int highlighted = 0;
  for (kvg::BaseAttributes* b : all<kvg::BaseAttributes>()) {
    b->setAdvancedRenderingEnabled(false);
    if (b->getHighlightEnabled()) {
      ++highlighted;
      b->setVisibility(false, false);
      b->setHighlightEnabled(false);
    }
  }
  EXPECT_EQ(highlighted, 1);
  for (kvg::RayTraceAttributes* r : all<kvg::RayTraceAttributes>()) r->setEnabled(false);
  EXPECT_FALSE(all<kvg::RayTraceAttributes>()[0]->getEnabled());
  // A drawable without base attributes has nothing to hide.
  kvg::SurfaceDrawable* bare = named<kvg::SurfaceDrawable>("Without base attributes");
  EXPECT_EQ(bare->hasBaseAttributes(), nullptr);
}

TEST_F(Adaptation, PointRadiiFillEveryPolyDataOfTheCollection) {
  const double r = 0.005;
  for (kvg::PointSphereDrawable* d : all<kvg::PointSphereDrawable>()) {
    kvg::PointSphereAttributes* a = d->getPointSphereAttributes();
    a->setPointRadiusOption(1);
    a->setPointStyle(0);
    a->setRadiusRangeParams(0.0, 0.0, -1.0, -1.0);
    if (a->getRadiusDataArray() != "radii") a->setRadiusDataArray("radii");
    kvg::CollectionNode* c = d->getDataNode().tryCast<kvg::CollectionNode>();
    if (!c) continue;
    kvg::CollectionNode::Iterator it(*c);
    while (it.traverse()) {
      kvg::PolyDataNode* p = it.getNode().tryCast<kvg::PolyDataNode>();
      if (!p) continue;
      vtkPolyData* pd = p->getPolyData();
      if (!pd->GetPointData()->GetArray("radii")) {
        auto radii = vtkSmartPointer<vtkDoubleArray>::New();
        radii->SetName("radii");
        pd->GetPointData()->AddArray(radii);
      }
      vtkDataArray* radii = pd->GetPointData()->GetArray("radii");
      radii->SetNumberOfComponents(3);
      radii->SetNumberOfTuples(pd->GetNumberOfPoints());
      for (vtkIdType i = 0; i < pd->GetNumberOfPoints(); ++i) radii->SetTuple3(i, r, r, r);
    }
  }
  kvg::PointSphereDrawable* particles = named<kvg::PointSphereDrawable>("Particles");
  kvg::CollectionNode* sets = particles->getDataNode().tryCast<kvg::CollectionNode>();
  ASSERT_NE(sets, nullptr);
  ASSERT_EQ(sets->getNumberOfNodes(), 2u);
  for (const kvg::Ptr<kvg::Node>& n : sets->getNodes()) {
    vtkDataArray* radii = n.tryCast<kvg::PolyDataNode>()->getPolyData()->GetPointData()->GetArray("radii");
    ASSERT_NE(radii, nullptr);
    EXPECT_TRUE(radii->IsA("vtkDoubleArray"));
    EXPECT_EQ(radii->GetNumberOfTuples(), 3);
    EXPECT_DOUBLE_EQ(radii->GetComponent(2, 1), r);
  }
  // The scene still draws the adapted spheres.
  kvg::DrawableScene scene(*session, nullptr, "SceneCanvas_7");
  scene.update(false);
  EXPECT_NE(scene.findProp(particles->getKey()), nullptr);
}

TEST_F(Adaptation, LicLosesItsCollectionWidgetsTakeColoursAnimationsStop) {
  for (kvg::LICDrawable* l : all<kvg::LICDrawable>())
    if (l->getDataNode().tryCast<kvg::CollectionNode>()) {
      l->setDataNode(nullptr);
      l->modified();
    }
  EXPECT_TRUE(all<kvg::LICDrawable>()[0]->getDataNode().isNull());

  const double highlight[3] = {0.79, 0.14, 0.57};
  const std::array<double, 3> normal{0.39, 0.1, 0.37};
  std::vector<kvg::WidgetDrawableAttributes*> widgets = all<kvg::WidgetDrawableAttributes>();
  EXPECT_EQ(widgets.size(), 2u);
  for (kvg::WidgetDrawableAttributes* w : widgets) {
    w->setSnappingAngle(15.0);
    w->setWidgetHighlightColor(highlight);
    w->setWidgetDefaultColor(normal);
    EXPECT_EQ(w->getWidgetDefaultColor(), normal);
  }
  for (kvg::AnimationAttributes* a : all<kvg::AnimationAttributes>()) a->setAnimationEnabled(false);
  EXPECT_FALSE(all<kvg::AnimationAttributes>()[0]->getAnimationEnabled());
}

TEST_F(Adaptation, VolumeAttributesAndCanvasClipPlanesAreThereForTheAnalysis) {
  kvg::VolumeDrawable* volume = all<kvg::VolumeDrawable>()[0];
  ASSERT_NE(volume->getImageDataNode(), nullptr);
  EXPECT_EQ(volume->getImageDataNode()->getScalarArrayName(), "pressure");
  EXPECT_EQ(volume->getImageDataNode()->getVectorArrayName(), "velocity");
  EXPECT_EQ(all<kvg::VolumeRenderingAttributes>()[0]->getRenderingMode(), 1);
  EXPECT_EQ(all<kvg::IsoSurfaceAttributes>()[0]->getIsoValues().size(), 3u);
  kvg::SceneCanvas* canvas = all<kvg::SceneCanvas>()[0];
  ASSERT_NE(canvas->hasClipPlanesAttributes(), nullptr);
  EXPECT_EQ(canvas->hasClipPlanesAttributes()->hasClippingPlanes()->getNumberOfNodes(), 1u);
  // The plane section shares the volume's data.
  kvg::PartDrawable* section = named<kvg::PartDrawable>("PlaneSection Mid section");
  EXPECT_EQ(section->getDataNode(), volume->getDataNode());
  EXPECT_EQ(section->hasBoundedPlaneAxisAttribute()->getShowAxis(), true);
  EXPECT_EQ(kvg::PartDrawable::partTypeOf(named<kvg::PartDrawable>("PlaneProbePart Probe")->getName()),
            kvg::PartDrawable::PlaneProbePart);
}
