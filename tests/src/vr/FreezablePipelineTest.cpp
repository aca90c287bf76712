#include <gtest/gtest.h>

#include <thread>

#include <vtkActor.h>
#include <vtkAlgorithm.h>
#include <vtkInformation.h>
#include <vtkInformationVector.h>
#include <vtkMultiBlockDataGroupFilter.h>
#include <vtkMultiBlockDataSet.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkPolyData.h>
#include <vtkPolyDataAlgorithm.h>
#include <vtkPolyDataMapper.h>
#include <vtkRenderer.h>
#include <vtkSphereSource.h>

#include "AnalysisPipeline.h"
#include "FreezablePipeline.h"
#include "VrTestSupport.h"

namespace {

// A sphere source that counts its executions.
class CountingSource : public vtkSphereSource {
 public:
  static CountingSource* New();
  vtkTypeMacro(CountingSource, vtkSphereSource);
  int executions = 0;

 protected:
  int RequestData(vtkInformation* request, vtkInformationVector** in, vtkInformationVector* out) override {
    ++executions;
    return vtkSphereSource::RequestData(request, in, out);
  }
};
vtkStandardNewMacro(CountingSource);

// Installs the executive as VTK's default for the algorithms a test creates.
class FreezableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vtkNew<FreezablePipeline> prototype;
    vtkAlgorithm::SetDefaultExecutivePrototype(prototype);
    FreezablePipeline::SetThreadFrozen(false);
  }
  void TearDown() override {
    FreezablePipeline::SetThreadFrozen(false);
    vtkAlgorithm::SetDefaultExecutivePrototype(nullptr);
  }
};

}  // namespace

TEST_F(FreezableTest, NewAlgorithmsUseItAndItKeepsCompositeData) {
  vtkNew<CountingSource> source;
  EXPECT_TRUE(source->GetExecutive()->IsA("FreezablePipeline"));
  EXPECT_TRUE(source->GetExecutive()->IsA("vtkCompositeDataPipeline"));
  vtkNew<vtkMultiBlockDataGroupFilter> group;
  group->AddInputConnection(source->GetOutputPort());
  group->Update();
  auto* blocks = vtkMultiBlockDataSet::SafeDownCast(group->GetOutputDataObject(0));
  ASSERT_NE(blocks, nullptr);
  EXPECT_EQ(blocks->GetNumberOfBlocks(), 1u);
}

TEST_F(FreezableTest, EveryUpdateEntryReportsSuccessAndDoesNothingWhileFrozen) {
  vtkNew<CountingSource> source;
  source->Update();
  ASSERT_EQ(source->executions, 1);
  const vtkIdType points = source->GetOutput()->GetNumberOfPoints();
  const vtkMTimeType outputTime = source->GetOutput()->GetMTime();

  source->SetThetaResolution(source->GetThetaResolution() * 2);
  FreezablePipeline::SetThreadFrozen(true);
  auto* executive = FreezablePipeline::SafeDownCast(source->GetExecutive());
  ASSERT_NE(executive, nullptr);
  source->Update();
  source->Update(0);
  source->UpdateWholeExtent();
  source->UpdatePiece(0, 1, 0);
  EXPECT_EQ(executive->Update(), 1);
  EXPECT_EQ(executive->Update(0), 1);
  EXPECT_EQ(executive->UpdateWholeExtent(), 1);
  EXPECT_EQ(executive->Update(0, nullptr), 1);
  EXPECT_EQ(source->executions, 1);
  EXPECT_EQ(source->GetOutput()->GetNumberOfPoints(), points);
  EXPECT_EQ(source->GetOutput()->GetMTime(), outputTime);

  // Another thread's flag is its own: the same algorithm executes there.
  std::thread other([&] {
    EXPECT_FALSE(FreezablePipeline::IsThreadFrozen());
    source->Update();
  });
  other.join();
  EXPECT_EQ(source->executions, 2);
  EXPECT_GT(source->GetOutput()->GetNumberOfPoints(), points);
}

TEST_F(FreezableTest, AFrozenRenderThreadDrawsTheOldDataWithoutReExecuting) {
  GlWindow gl;
  vtkNew<CountingSource> source;
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputConnection(source->GetOutputPort());
  vtkNew<vtkActor> actor;
  actor->SetMapper(mapper);
  gl.renderer()->AddActor(actor);
  gl.renderer()->ResetCamera();
  gl.window()->Render();
  ASSERT_EQ(source->executions, 1);
  const double radiusBefore = mapper->GetInput()->GetBounds()[1];

  FreezablePipeline::SetThreadFrozen(true);
  source->SetRadius(2.0);
  for (int frame = 0; frame < 3; ++frame) gl.window()->Render();
  EXPECT_EQ(source->executions, 1);
  EXPECT_DOUBLE_EQ(mapper->GetInput()->GetBounds()[1], radiusBefore);

  // The tool-code pattern: thaw for one update, then the flag is back.
  {
    RestoreThreadFlag thawed(false);
    EXPECT_FALSE(FreezablePipeline::IsThreadFrozen());
    mapper->Update();
  }
  EXPECT_TRUE(FreezablePipeline::IsThreadFrozen());
  EXPECT_EQ(source->executions, 2);
  EXPECT_DOUBLE_EQ(mapper->GetInput()->GetBounds()[1], radiusBefore * 4);
}

TEST_F(FreezableTest, TheSavedFlagComesBackWhenTheUpdateThrows) {
  FreezablePipeline::SetThreadFrozen(true);
  try {
    RestoreThreadFlag thawed(false);
    throw 42;
  } catch (int) {
  }
  EXPECT_TRUE(FreezablePipeline::IsThreadFrozen());
}

// The start-up's installation: new algorithms get the executive, and the analysis props' scope
// (in which VTK's volume mapper draws) lifts the thread's freeze and puts it back.
TEST(FreezablePipelineInstall, AnalysisDrawingScopeLiftsTheFreeze) {
  FreezablePipeline::InstallAsDefault();
  vtkNew<CountingSource> source;
  EXPECT_TRUE(source->GetExecutive()->IsA("FreezablePipeline"));
  FreezablePipeline::SetThreadFrozen(true);
  {
    kvg::analysis::ThawedUpdates thawed;
    EXPECT_FALSE(FreezablePipeline::IsThreadFrozen());
    source->Update();
  }
  EXPECT_TRUE(FreezablePipeline::IsThreadFrozen());
  EXPECT_EQ(source->executions, 1);
  FreezablePipeline::SetThreadFrozen(false);
  kvg::analysis::SetThreadThaw(nullptr, nullptr);
  vtkAlgorithm::SetDefaultExecutivePrototype(nullptr);
}
