#include <gtest/gtest.h>

#include "kvg/CollectionNode.h"
#include "kvg/Plane.h"
#include "kvg/Ptr.h"
#include "kvg/Ref.h"

namespace {

struct Tracked : kvg::Object {
  explicit Tracked(int* destroyed) : destroyed(destroyed) {}
  ~Tracked() override { ++*destroyed; }
  int* destroyed;
};
struct Other : kvg::Object {};

void expectTypeError(const std::function<void()>& f) {
  try {
    f();
    FAIL() << "no InternalError";
  } catch (const InternalError& e) {
    EXPECT_EQ(e.getMessage(), "Uninitialized object or unexpected object type");
  }
}

}  // namespace

TEST(Ptr, CountsReferencesAndDestroysWithTheLast) {
  int destroyed = 0;
  {
    kvg::Ptr<Tracked> a(new Tracked(&destroyed));
    EXPECT_EQ(a->getRefCount(), 1);
    kvg::Ptr<Tracked> b = a;
    kvg::Ptr<kvg::Object> c = b;
    EXPECT_EQ(a->getRefCount(), 3);
    b.reset();
    c = nullptr;
    EXPECT_EQ(a->getRefCount(), 1);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(Ptr, MissingOrWrongTypeObjectThrowsOnCheckedAccessOnly) {
  kvg::Ptr<kvg::Plane> empty;
  kvg::Ptr<kvg::Plane> wrong(new kvg::CollectionNode);
  EXPECT_TRUE(bool(wrong));   // an object is held ...
  EXPECT_FALSE(wrong.isValid());  // ... but it is no Plane
  EXPECT_EQ(wrong.get(), nullptr);
  EXPECT_NE(wrong.tryCast<kvg::CollectionNode>(), nullptr);
  expectTypeError([&] { empty->getOrigin(); });
  expectTypeError([&] { wrong->getOrigin(); });
  expectTypeError([&] { (void)*wrong; });
  expectTypeError([&] { wrong.cast<Other>(); });
  expectTypeError([&] { kvg::Ref<kvg::Plane> r(wrong); });
  expectTypeError([&] { kvg::Ref<kvg::Plane> r(nullptr); });
}

TEST(Ref, IsNeverNullAndConvertsToPointersOfBases) {
  kvg::Ref<kvg::Plane> plane = kvg::makeRef<kvg::Plane>(kvg::Vec3{1, 2, 3}, kvg::Vec3{0, 1, 0});
  kvg::Ptr<kvg::Node> node = plane;
  EXPECT_EQ(node.getObject(), plane.get());
  EXPECT_EQ(plane->getRefCount(), 2);
  kvg::Ref<kvg::Plane> back(node);
  EXPECT_EQ(back->getOrigin()[1], 2.0);
}

TEST(Object, EmbeddedObjectsAndCopiesStartWithoutReferences) {
  int destroyed = 0;
  Tracked embedded(&destroyed);
  Tracked copy(embedded);
  EXPECT_EQ(embedded.getRefCount(), 0);
  EXPECT_EQ(copy.getRefCount(), 0);
}
