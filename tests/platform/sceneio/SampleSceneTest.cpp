// The sample scene as the program opens it: detected, read, streamed into two sessions on a
// loader thread without OpenGL, then updated and drawn with a GL context under Xvfb.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>

#include "RecordsManager.h"
#include "WindowPixels.h"
#include "SceneCorpus.h"
#include "SceneFormatHandler.h"
#include "kvg/DrawableScene.h"
#include "kvg/DrawableSession.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SDBReader.h"
#include "kvg/VolumeDrawable.h"

TEST(SampleScene, HasTwoFrameSetsOfTimeFrames) {
  const std::wstring path = wide(binDir() + "/sample_vr.sce");
  std::ostringstream diagnostics;
  ASSERT_EQ(SceneFormatHandler::detectSceneFormat(path, diagnostics), SceneFormatHandler::PlainScene);
  kvg::SDBReader reader;
  ASSERT_EQ(reader.open(path), 0) << reader.getLastError();
  RecordsManager records(reader);
  ASSERT_EQ(records.framesetsCount(), 2);
  EXPECT_EQ(records.getFrame(0, 0).getString("Title"), "Vortex shedding behind a cylinder");
  EXPECT_EQ(records.framesCount(0), 4);
  EXPECT_EQ(records.getFrame(0, 1).getString("Description"), "t = 0.075 s");
  EXPECT_EQ(records.getFrame(1, 0).getString("Title"), "Steady potential flow");
  EXPECT_EQ(records.framesCount(1), 1);
}

TEST(SampleScene, LoadsIntoTwoSessionsAndDrawsTheModel) {
  kvg::SDBReader reader;
  ASSERT_EQ(reader.open(wide(binDir() + "/sample_vr.sce")), 0) << reader.getLastError();
  RecordsManager records(reader);
  const Properties record = records.getFrame(0, 2);
  kvg::DrawableSession first(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
  kvg::DrawableSession second(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);

  // The loader: the second session only after the first succeeded.
  bool loaded = false;
  std::thread loader([&] {
    kvg::RendererNodeStream one(first);
    if (!reader.loadRecord(record, one)) return;
    kvg::RendererNodeStream two(second);
    loaded = reader.loadRecord(record, two);
  });
  loader.join();
  ASSERT_TRUE(loaded) << reader.getLastError();
  const std::string key = reader.getCanvasInfo().key;
  EXPECT_EQ(key, "SceneCanvas_1");

  // Two independent node sets under the same keys.
  auto volumesA = first.getNodeRegistry().findNodesOfClass<kvg::VolumeDrawable>();
  auto volumesB = second.getNodeRegistry().findNodesOfClass<kvg::VolumeDrawable>();
  ASSERT_EQ(volumesA.size(), 1u);
  ASSERT_EQ(volumesB.size(), 1u);
  EXPECT_EQ(volumesA[0]->getKey(), volumesB[0]->getKey());
  EXPECT_NE(volumesA[0]->getImageDataNode()->getImageData(), volumesB[0]->getImageDataNode()->getImageData());
  EXPECT_EQ(volumesA[0]->getImageDataNode()->getVectorArrayName(), "velocity");

  auto window = vtkSmartPointer<vtkRenderWindow>::New();
  window->SetOffScreenRendering(1);
  window->SetSize(320, 240);
  window->SetMultiSamples(0);
  kvg::DrawableScene* scene =
      first.getDrawableScenes().createScene(new kvg::GenericWindowResourceManager(window, false), key);
  ASSERT_EQ(first.getDrawableScenes().hasScene(key).size(), 1u);
  window->MakeCurrent();
  scene->update(false);
  ASSERT_NE(scene->hasModelRenderer(), nullptr);
  EXPECT_GE(scene->hasModelRenderer()->getVTKRenderer()->GetLayer(), 1);
  EXPECT_NE(scene->hasRenderer("Background"), nullptr);
  EXPECT_NE(scene->hasRenderer("Orientation"), nullptr);

  // The background is (0.08, 0.09, 0.12); the model's pressure colours range from blue to red.
  const int model = countPixels(window, [](int r, int g, int b) {
    return std::abs(r - 20) + std::abs(g - 23) + std::abs(b - 31) > 30;
  });
  const int bluish = countPixels(window, [](int r, int, int b) { return b > r + 30; });
  const int reddish = countPixels(window, [](int r, int, int b) { return r > b + 30; });
  EXPECT_GT(model, 320 * 240 / 5) << "the model covers too little of the picture";
  EXPECT_GT(bluish, 200);
  EXPECT_GT(reddish, 200);
  window->Finalize();
}
