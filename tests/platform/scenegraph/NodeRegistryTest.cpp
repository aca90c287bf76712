#include <gtest/gtest.h>

#include "kvg/BaseAttributes.h"
#include "kvg/CollectionNode.h"
#include "kvg/LineAttributes.h"
#include "kvg/NodeRegistry.h"
#include "kvg/Plane.h"
#include "kvg/SurfaceDrawable.h"

TEST(NodeRegistry, ClassPartOfAKeyIsWhatPrecedesItsLastUnderscore) {
  const struct {
    const char* key;
    const char* className;
  } cases[] = {{"LineAttributes", "LineAttributes"},
               {"LineAttributes_12", "LineAttributes"},
               {"LineAttributes_1_2", "LineAttributes_1"},
               {"LineAttributesX_3", "LineAttributesX"},
               {"_5", ""}};
  for (const auto& c : cases) EXPECT_EQ(kvg::NodeRegistry::classNameOfKey(c.key), c.className) << c.key;
}

TEST(NodeRegistry, KeysCountPerClassAndGivenKeysRaiseTheCount) {
  kvg::NodeRegistry registry;
  EXPECT_EQ(registry.addNode(new kvg::LineAttributes), "LineAttributes_1");
  EXPECT_EQ(registry.addNode(new kvg::LineAttributes), "LineAttributes_2");
  EXPECT_EQ(registry.addNode(new kvg::Plane), "Plane_1");
  EXPECT_EQ(registry.addNode(new kvg::LineAttributes, "LineAttributes_9"), "LineAttributes_9");
  EXPECT_EQ(registry.addNode(new kvg::LineAttributes), "LineAttributes_10");
  // Taken, malformed, or naming another class: refused.
  EXPECT_EQ(registry.addNode(new kvg::LineAttributes, "LineAttributes_9"), "");
  EXPECT_EQ(registry.addNode(new kvg::LineAttributes, "LineAttributes_x"), "");
  EXPECT_EQ(registry.addNode(new kvg::Plane, "LineAttributes_11"), "");
  // A node is in one registry once.
  kvg::Ptr<kvg::Node> keyed = registry.findNode("Plane_1");
  EXPECT_EQ(registry.addNode(keyed), "");
  EXPECT_EQ(registry.getNodes().size(), 5u);
}

TEST(NodeRegistry, FindNodesOfClassWalksTheSceneTableThenTheRuntimeTableInKeyOrder) {
  kvg::NodeRegistry registry;
  for (int i = 0; i < 11; ++i) registry.addNode(new kvg::LineAttributes);
  registry.addNode(new kvg::BaseAttributes);
  registry.addRuntimeNode(new kvg::LineAttributes);
  std::vector<kvg::LineAttributes*> found = registry.findNodesOfClass<kvg::LineAttributes>();
  ASSERT_EQ(found.size(), 12u);
  // Key order: "_1", "_10", "_11", "_2", ...; the run-time node last.
  EXPECT_EQ(found[1]->getKey(), "LineAttributes_10");
  EXPECT_EQ(found[3]->getKey(), "LineAttributes_2");
  EXPECT_EQ(found.back(), registry.getRuntimeNodes().begin()->second.get());
  registry.setUseRuntimeNodes(false);
  EXPECT_EQ(registry.findNodesOfClass<kvg::LineAttributes>().size(), 11u);
  // Base classes do not collect their subclasses: the key names the class exactly.
  EXPECT_TRUE(registry.findNodesOfClass<kvg::Attributes>().empty());
}

TEST(NodeRegistry, RemovedNodeLosesItsKeyAndMayBeEnteredAgain) {
  kvg::NodeRegistry registry;
  kvg::Ptr<kvg::Node> plane(new kvg::Plane);
  ASSERT_EQ(registry.addNode(plane), "Plane_1");
  EXPECT_TRUE(registry.removeNode("Plane_1"));
  EXPECT_EQ(plane->getKey(), "");
  EXPECT_EQ(registry.addNode(plane), "Plane_2");
  const uint64_t generation = registry.getGeneration();
  registry.clear();
  EXPECT_GT(registry.getGeneration(), generation);
  EXPECT_EQ(registry.size(), 0u);
}

TEST(CollectionNode, IteratorWalksNestedCollectionsDepthFirstOnce) {
  kvg::Ptr<kvg::CollectionNode> outer(new kvg::CollectionNode), inner(new kvg::CollectionNode);
  kvg::Ptr<kvg::Node> a(new kvg::Plane), b(new kvg::Plane), c(new kvg::Plane);
  outer->addNode(a);
  outer->addNode(inner);
  inner->addNode(b);
  inner->addNode(outer);  // a cycle is entered once only
  outer->addNode(c);
  std::vector<kvg::Object*> seen;
  kvg::CollectionNode::Iterator it(outer);
  while (it.traverse()) seen.push_back(it.getNode().getObject());
  EXPECT_EQ(seen, (std::vector<kvg::Object*>{a.getObject(), inner.getObject(), b.getObject(), outer.getObject(),
                                             c.getObject()}));
  EXPECT_FALSE(it.traverse());
  EXPECT_TRUE(outer->removeNode(c));
  EXPECT_FALSE(outer->removeNode(c));
  inner->clear();  // break the cycle
}

TEST(Drawable, AttributesOfOneClassReplaceEachOtherAndChangesReachTheDrawable) {
  kvg::Ptr<kvg::SurfaceDrawable> d(new kvg::SurfaceDrawable);
  EXPECT_EQ(d->hasBaseAttributes(), nullptr);
  kvg::Ptr<kvg::LineAttributes> first(new kvg::LineAttributes), second(new kvg::LineAttributes);
  d->addAttributes(first);
  d->addAttributes(second);
  EXPECT_EQ(d->getAttributes().size(), 1u);
  EXPECT_EQ(d->hasLineAttributes(), second.get());
  const uint64_t before = d->getEffectiveMTime();
  second->setLineWidth(2.0);
  EXPECT_GT(d->getEffectiveMTime(), before);
  const uint64_t after = d->getEffectiveMTime();
  second->setLineWidth(2.0);  // no change, no new time
  EXPECT_EQ(d->getEffectiveMTime(), after);
}
