#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

#include <vtkCellArray.h>
#include <vtkCellType.h>
#include <vtkDataArray.h>
#include <vtkIdList.h>
#include <vtkImageData.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkUnstructuredGrid.h>
#include <vtkXMLImageDataWriter.h>
#include <vtkXMLPolyDataWriter.h>
#include <vtkXMLUnstructuredGridWriter.h>

#include "Logger.h"
#include "RecordsManager.h"
#include "SceneCorpus.h"
#include "SceneFormatHandler.h"
#include "kvg/DrawableSession.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SDBReader.h"
#include "kvg/ImageDataNode.h"
#include "kvg/PolyDataNode.h"
#include "kvg/SceneCanvas.h"
#include "kvg/SceneRecordBuilder.h"

namespace {

std::unique_ptr<kvg::DrawableSession> newSession() {
  return std::make_unique<kvg::DrawableSession>(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
}

Properties record(int frameset, int frame) {
  Properties r;
  r.set("FrameSet", frameset);
  r.set("Frame", frame);
  return r;
}

}  // namespace

TEST(SceneFormatHandler, DetectsEachKindOfFile) {
  const struct {
    std::string path;
    int result;
    const char* diagnostics;
  } cases[] = {
      {corpus("no_such_file.sce"), SceneFormatHandler::FileMissing, ""},
      {corpus(""), SceneFormatHandler::CannotOpen, ""},  // the folder itself
      {corpus("compressed.sce"), SceneFormatHandler::ZippedScene, ""},
      {corpus("compressed.tar.gz"), SceneFormatHandler::ZippedScene, ""},
      {corpus("one_set_one_frame.sce"), SceneFormatHandler::PlainScene, ""},
      {corpus("syntax_error.sce"), SceneFormatHandler::PlainScene, ""},
      {corpus("garbage.sce"), SceneFormatHandler::UnknownFormat, "binary data"},
      {corpus("not_a_scene.sce"), SceneFormatHandler::UnknownFormat, "does not begin with 'format = quonix-scene'"},
      {corpus("empty.sce"), SceneFormatHandler::UnknownFormat, "empty"},
  };
  for (const auto& c : cases) {
    std::ostringstream diagnostics;
    EXPECT_EQ(SceneFormatHandler::detectSceneFormat(wide(c.path), diagnostics), c.result) << c.path;
    EXPECT_NE(diagnostics.str().find(c.diagnostics), std::string::npos) << c.path << ": " << diagnostics.str();
  }
}

// Comments before the "format" line may be longer than any fixed head: the file is still a scene.
TEST(SceneFormatHandler, LongCommentsBeforeTheFormatLineStillMakeAScene) {
  char folder[] = "/tmp/quonix-head-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::ifstream in(corpus("one_set_one_frame.sce"));
  std::ostringstream original;
  original << in.rdbuf();
  const std::string comment = "# " + std::string(1000, 'c') + "\n";
  const struct {
    const char* before;
    int result;
  } cases[] = {
      {"", SceneFormatHandler::PlainScene},
      {"not = scene\n", SceneFormatHandler::UnknownFormat},
  };
  const std::string path = std::string(folder) + "/long.sce";
  for (const auto& c : cases) {
    {
      std::ofstream out(path);
      for (int i = 0; i < 200; ++i) out << comment;  // 200 KiB of comments
      out << c.before << original.str();
    }
    std::ostringstream diagnostics;
    EXPECT_EQ(SceneFormatHandler::detectSceneFormat(wide(path), diagnostics), c.result) << diagnostics.str();
  }
  std::remove(path.c_str());
  rmdir(folder);
}

TEST(SDBReader, OpenAnswersWithTheResultCodeAndAReason) {
  const struct {
    const char* file;
    int result;
    const char* message;
  } cases[] = {
      {"one_set_one_frame.sce", kvg::SDBReader::Opened, ""},
      {"zero_sets.sce", kvg::SDBReader::Opened, ""},
      {"being_written.sce", kvg::SDBReader::BeingWritten, "being written"},
      {"being_written_partial.sce", kvg::SDBReader::BeingWritten, "being written"},
      {"no_such_file.sce", kvg::SDBReader::CannotRead, "does not exist"},
      {"garbage.sce", kvg::SDBReader::NotAScene, "binary data"},
      {"not_a_scene.sce", kvg::SDBReader::NotAScene, "format = quonix-scene"},
      {"unsupported_version.sce", kvg::SDBReader::UnsupportedVersion, "format version 2"},
      {"syntax_error.sce", kvg::SDBReader::InvalidScene, "Syntax error at line 5"},
      {"duplicate_key.sce", kvg::SDBReader::InvalidScene, "'s0' is given twice"},
      {"bad_structure.sce", kvg::SDBReader::InvalidScene, "'frames' must be a block"},
      {"bad_canvas_key.sce", kvg::SDBReader::InvalidScene, "SceneCanvas_"},
  };
  for (const auto& c : cases) {
    kvg::SDBReader reader;
    EXPECT_EQ(reader.open(wide(corpus(c.file))), c.result) << c.file;
    EXPECT_EQ(reader.isOpen(), c.result == kvg::SDBReader::Opened) << c.file;
    EXPECT_NE(reader.getLastError().find(c.message), std::string::npos) << c.file << ": " << reader.getLastError();
  }
}

TEST(RecordsManager, FramesCarryTheSetTitleAndTheirOwnDescription) {
  kvg::SDBReader reader;
  ASSERT_EQ(reader.open(wide(corpus("sets_1_and_3_frames.sce"))), 0) << reader.getLastError();
  RecordsManager records(&reader);
  ASSERT_EQ(records.framesetsCount(), 2);
  EXPECT_EQ(records.framesCount(0), 1);
  EXPECT_EQ(records.framesCount(1), 3);
  Properties only = records.getFrame(0, 0);
  EXPECT_EQ(only.getString("Title"), "One frame");
  EXPECT_FALSE(only.hasName("Description"));
  const char* descriptions[] = {"First frame", nullptr, "Third frame"};
  for (int f = 0; f < 3; ++f) {
    Properties frame = records.getFrame(1, f);
    EXPECT_EQ(frame.getString("Title"), "Three frames");
    EXPECT_EQ(frame.hasName("Description"), descriptions[f] != nullptr);
    if (descriptions[f]) {
      EXPECT_EQ(frame.getString("Description"), descriptions[f]);
    }
    EXPECT_EQ(frame.getInt("FrameSet"), 1);
    EXPECT_EQ(frame.getInt("Frame"), f);
  }
}

TEST(RecordsManager, TitlesKeepQuotesBackslashesAndNonAsciiLetters) {
  kvg::SDBReader reader;
  ASSERT_EQ(reader.open(wide(corpus("special_titles.sce"))), 0) << reader.getLastError();
  RecordsManager records(reader);
  ASSERT_EQ(records.framesetsCount(), 4);
  EXPECT_EQ(records.getFrame(0, 0).getString("Title"), "Say \"hello\"");
  EXPECT_EQ(records.getFrame(0, 0).getString("Description"), "Frame with \"quotes\", \\ and \xC3\xBC");
  EXPECT_EQ(records.getFrame(1, 0).getString("Title"), "C:\\data\\run 7");
  EXPECT_EQ(records.getFrame(2, 0).getString("Title"), "Str\xC3\xB6mung \xC3\xBC" "ber \xC3\x98rsted \xE2\x80\x93 \xCE\xA9");
  EXPECT_EQ(records.getFrame(3, 0).getString("Title"), "x\"); Qt.quit(); (\"");
}

TEST(RecordsManager, IndicesOutOfRangeAndEmptySetsGiveEmptyAnswers) {
  kvg::SDBReader reader;
  ASSERT_EQ(reader.open(wide(corpus("set_without_frames.sce"))), 0) << reader.getLastError();
  RecordsManager records(reader);
  ASSERT_EQ(records.framesetsCount(), 2);
  EXPECT_EQ(records.framesCount(0), 0);
  EXPECT_EQ(records.getFramesetTitle(0), "Empty set");
  for (auto index : {std::make_pair(0, 0), std::make_pair(-1, 0), std::make_pair(2, 0), std::make_pair(1, 1),
                     std::make_pair(1, -1)})
    EXPECT_TRUE(records.getFrame(index.first, index.second).empty()) << index.first << "," << index.second;
  EXPECT_EQ(records.framesCount(-1), 0);
  EXPECT_EQ(records.framesCount(7), 0);
  RecordsManager none(nullptr);
  EXPECT_EQ(none.framesetsCount(), 0);
}

TEST(SDBReader, RecordsNamingNoFrameAreRefusedWithTheReadersError) {
  kvg::SDBReader reader;
  ASSERT_EQ(reader.open(wide(corpus("set_without_frames.sce"))), 0);
  const struct {
    Properties record;
    const char* message;
  } cases[] = {{Properties(), "names no frame"},
               {record(0, 0), "'Empty set' has no frames"},
               {record(5, 0), "no frame set 5"},
               {record(-1, 0), "no frame set -1"},
               {record(1, 3), "'Full set' has no frame 3"}};
  for (const auto& c : cases) {
    auto session = newSession();
    kvg::RendererNodeStream stream(*session);
    EXPECT_FALSE(reader.loadRecord(c.record, stream)) << c.message;
    EXPECT_NE(reader.getLastError().find(c.message), std::string::npos) << reader.getLastError();
    EXPECT_TRUE(stream.isFinished());
    EXPECT_EQ(session->getNodeRegistry().size(), 0u);
  }
  kvg::SDBReader closed;
  auto session = newSession();
  kvg::RendererNodeStream stream(*session);
  EXPECT_FALSE(closed.loadRecord(record(0, 0), stream));
  EXPECT_EQ(closed.getLastError(), "No scene file is open.");
}

TEST(SDBReader, ARecordFailingHalfWayLeavesTheSessionAsItWas) {
  kvg::SDBReader reader;
  ASSERT_EQ(reader.open(wide(corpus("broken_record.sce"))), 0) << reader.getLastError();
  auto session = newSession();
  {
    kvg::RendererNodeStream stream(*session);
    ASSERT_TRUE(reader.loadRecord(record(0, 0), stream)) << reader.getLastError();
  }
  const size_t nodes = session->getNodeRegistry().size();
  const uint64_t generation = session->getNodeRegistry().getGeneration();
  ASSERT_GT(nodes, 0u);
  const char* messages[] = {"'broken_record_data/missing.vtp' does not exist",
                            "'broken_record_data/corrupt.vtp' cannot be read", "unknown type 'Teapot'",
                            "outside the scene's folder", "names point 9"};
  for (int frame = 1; frame <= 5; ++frame) {
    kvg::RendererNodeStream stream(*session);
    EXPECT_FALSE(reader.loadRecord(record(0, frame), stream)) << frame;
    EXPECT_NE(reader.getLastError().find(messages[frame - 1]), std::string::npos) << reader.getLastError();
    EXPECT_NE(reader.getLastError().find("frame " + std::to_string(frame)), std::string::npos);
    EXPECT_EQ(session->getNodeRegistry().size(), nodes);
    EXPECT_EQ(session->getNodeRegistry().getGeneration(), generation);
  }
}

TEST(SDBReader, CanvasKeyBecomesTheSceneKeyOfTheLoadedCanvas) {
  kvg::SDBReader reader;
  ASSERT_EQ(reader.open(wide(corpus("every_class.sce"))), 0) << reader.getLastError();
  EXPECT_EQ(reader.getCanvasInfo().key, "SceneCanvas_7");
  EXPECT_EQ(reader.getCanvasInfo().index, 7);
  EXPECT_EQ(reader.getCanvasInfo().title, "Every class");
  auto session = newSession();
  kvg::RendererNodeStream stream(*session);
  ASSERT_TRUE(reader.loadRecord(record(0, 0), stream)) << reader.getLastError();
  EXPECT_TRUE(session->getNodeRegistry().findNode("SceneCanvas_7").isValid());
  kvg::SDBReader plain;
  ASSERT_EQ(plain.open(wide(corpus("one_set_one_frame.sce"))), 0);
  EXPECT_EQ(plain.getCanvasInfo().key, "SceneCanvas_1");
}

TEST(SceneFormat, TheDocumentedExampleOpensAndLoads) {
  const char* source = std::getenv("QUONIX_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  std::ifstream doc(std::string(source) + "/docs/scene-format.md");
  std::stringstream text;
  text << doc.rdbuf();
  const std::string all = text.str();
  const size_t section = all.find("## Example");
  ASSERT_NE(section, std::string::npos);
  const size_t open = all.find("```\n", section);
  const size_t close = all.find("```\n", open + 4);
  ASSERT_NE(close, std::string::npos);
  const std::string example = all.substr(open + 4, close - open - 4);
  char folder[] = "/tmp/quonix-doc-example-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/square.sce";
  std::ofstream(path) << example;

  kvg::SDBReader reader;
  ASSERT_EQ(reader.open(wide(path)), 0) << reader.getLastError();
  RecordsManager records(reader);
  ASSERT_EQ(records.framesetsCount(), 1);
  EXPECT_EQ(records.getFrame(0, 0).getString("Title"), "A square");
  auto session = newSession();
  kvg::RendererNodeStream stream(*session);
  EXPECT_TRUE(reader.loadRecord(records.getFrame(0, 0), stream)) << reader.getLastError();
  EXPECT_EQ(session->getNodeRegistry().findNodesOfClass<kvg::SceneCanvas>().at(0)->getDrawables()->getNumberOfNodes(),
            2u);
  ::unlink(path.c_str());
  ::rmdir(folder);
}

TEST(SDBReader, SelfContainedRecordsBuildTheSameNodesWithoutTheFiles) {
  for (const std::string& file : {binDir() + "/sample_vr.sce", corpus("every_class.sce"), corpus("compressed.sce")}) {
    std::wstring path = wide(file);
    if (file.find("compressed") != std::string::npos) path = SceneFormatHandler::convertZippedScene(path);
    kvg::SDBReader reader;
    ASSERT_EQ(reader.open(path), 0) << file << ": " << reader.getLastError();
    Properties record;
    ASSERT_TRUE(reader.makeSelfContainedRecord(0, 0, record)) << reader.getLastError();
    EXPECT_EQ(record.toText().find(".vt"), std::string::npos) << file << ": a data file is still named";
    auto fromFiles = newSession(), fromRecord = newSession();
    kvg::RendererNodeStream a(*fromFiles), b(*fromRecord);
    ASSERT_TRUE(reader.loadRecord(record, a)) << reader.getLastError();
    // Sent elsewhere as text, built with no folder beside it.
    Properties received;
    ASSERT_TRUE(Properties::fromText(record.toText(), received));
    kvg::SceneRecordBuilder builder(b, "/nonexistent");
    ASSERT_TRUE(builder.buildRecord(received)) << builder.getError();
    b.commit();
    const auto& left = fromFiles->getNodeRegistry().getNodes();
    const auto& right = fromRecord->getNodeRegistry().getNodes();
    ASSERT_EQ(left.size(), right.size()) << file;
    for (auto l = left.begin(), r = right.begin(); l != left.end(); ++l, ++r) EXPECT_EQ(l->first, r->first);
    auto volumes = fromRecord->getNodeRegistry().findNodesOfClass<kvg::ImageDataNode>();
    auto originals = fromFiles->getNodeRegistry().findNodesOfClass<kvg::ImageDataNode>();
    ASSERT_EQ(volumes.size(), originals.size());
    for (size_t i = 0; i < volumes.size(); ++i)
      EXPECT_EQ(volumes[i]->getImageData()->GetNumberOfPoints(), originals[i]->getImageData()->GetNumberOfPoints());
  }
  SceneFormatHandler::removeUnpackedScenes();
  kvg::SDBReader reader;
  ASSERT_EQ(reader.open(wide(corpus("broken_record.sce"))), 0);
  Properties record;
  EXPECT_FALSE(reader.makeSelfContainedRecord(0, 1, record));
  EXPECT_NE(reader.getLastError().find("missing.vtp"), std::string::npos);
  EXPECT_FALSE(reader.makeSelfContainedRecord(3, 0, record));
}

namespace {
class CapturedWarnings : public Logger::Output {
 public:
  explicit CapturedWarnings(std::string& text) : _text(text) {}
  void write(const std::string& text) override { _text += text; }
  void writeLine(const std::string& text) override { _text += text + "\n"; }

 private:
  std::string& _text;
};

// Writes data with VTK's XML writer W; true when written.
template <class W>
bool writeXml(vtkDataObject* data, const std::string& path) {
  auto writer = vtkSmartPointer<W>::New();
  writer->SetInputData(data);
  writer->SetFileName(path.c_str());
  return writer->Write() == 1;
}

// The surfaces of the first frame of dir/scene.sce, loaded into a new session that the caller
// keeps; the log's output goes to log meanwhile. Empty when the scene does not load.
std::vector<kvg::PolyDataNode*> loadFirstFrameSurfaces(const std::string& dir, std::string& log,
                                                    std::unique_ptr<kvg::DrawableSession>& session) {
  Logger::getSingleton().setOutput(new CapturedWarnings(log));
  kvg::SDBReader reader;
  session = newSession();
  bool loaded = reader.open(wide(dir + "/scene.sce")) == 0;
  if (loaded) {
    kvg::RendererNodeStream stream(*session);
    loaded = reader.loadRecord(record(0, 0), stream);
  }
  Logger::getSingleton().setOutput(nullptr);
  EXPECT_TRUE(loaded) << reader.getLastError();
  if (!loaded) return {};
  return session->getNodeRegistry().findNodesOfClass<kvg::PolyDataNode>();
}
}  // namespace

// One unusable point (infinite in a data file, far beyond any drawable size inline) takes only
// the cells that use it: the rest of the surface stays, with finite bounds, and the log names
// where the points came from.
TEST(SDBReader, PointsThatAreNotFiniteGoWithTheirCellsAndTheRestStays) {
  char folder[] = "/tmp/quonix-nonfinite-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string dir = folder;
  {
    // Two squares side by side, and a triangle reaching one point to infinity.
    auto points = vtkSmartPointer<vtkPoints>::New();
    const double inf = std::numeric_limits<double>::infinity();
    const double xyz[][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}, {inf, 0, 0}};
    for (const auto& p : xyz) points->InsertNextPoint(p);
    auto polys = vtkSmartPointer<vtkCellArray>::New();
    const vtkIdType a[] = {0, 1, 2, 3}, b[] = {1, 4, 5, 2}, c[] = {4, 6, 5};
    polys->InsertNextCell(4, a);
    polys->InsertNextCell(4, b);
    polys->InsertNextCell(3, c);
    auto poly = vtkSmartPointer<vtkPolyData>::New();
    poly->SetPoints(points);
    poly->SetPolys(polys);
    ASSERT_TRUE(writeXml<vtkXMLPolyDataWriter>(poly, dir + "/surface.vtp"));
  }
  std::ofstream(dir + "/scene.sce") << R"(format = quonix-scene
version = 1
frameSets {
  s { title = "S", frames { f { drawables {
    fromFile { type = Surface, name = "From file", data = "surface.vtp" }
    inline { type = Surface, name = "Inline"
      data { points = [0, 0, 1,  1, 0, 1,  1, 1, 1,  -1e308, 0, 1], polys = [3, 0, 1, 2,  3, 0, 2, 3] } }
  } } } }
}
)";
  std::string log;
  std::unique_ptr<kvg::DrawableSession> session;
  auto surfaces = loadFirstFrameSurfaces(dir, log, session);
  ASSERT_EQ(surfaces.size(), 2u);
  vtkIdType cells = 0;
  for (auto& surface : surfaces) {
    vtkPolyData* data = surface->getPolyData();
    ASSERT_NE(data, nullptr);
    cells += data->GetNumberOfCells();
    double bounds[6];
    data->GetBounds(bounds);
    for (double v : bounds) EXPECT_TRUE(std::isfinite(v) && std::fabs(v) <= 2) << v;
  }
  EXPECT_EQ(cells, 2 + 1);  // both squares of the file, the inline triangle without the far point
  EXPECT_NE(log.find("'surface.vtp' has 1 points that are not finite"), std::string::npos) << log;
  EXPECT_NE(log.find("has 1 points that are not finite"), log.rfind("has 1 points that are not finite")) << log;
  std::system(("rm -rf '" + dir + "'").c_str());
}

// A data file whose cells name points it does not have (a damaged or hand-made file: VTK's
// readers take it as it stands) loses just those cells, with a warning naming the file; the
// surface and the grid keep the rest instead of reading beyond their points.
TEST(SDBReader, CellsNamingMissingPointsGoAndTheRestStays) {
  char folder[] = "/tmp/quonix-badcells-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string dir = folder;
  {
    auto points = vtkSmartPointer<vtkPoints>::New();
    const double xyz[][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}};
    for (const auto& p : xyz) points->InsertNextPoint(p);
    auto polys = vtkSmartPointer<vtkCellArray>::New();
    const vtkIdType a[] = {0, 1, 2}, b[] = {0, 2, 3}, c[] = {0, 3, 1000000}, d[] = {-5, 1, 2};
    for (const vtkIdType* cell : {a, b, c, d}) polys->InsertNextCell(3, cell);
    auto poly = vtkSmartPointer<vtkPolyData>::New();
    poly->SetPoints(points);
    poly->SetPolys(polys);
    ASSERT_TRUE(writeXml<vtkXMLPolyDataWriter>(poly, dir + "/surface.vtp"));

    auto grid = vtkSmartPointer<vtkUnstructuredGrid>::New();
    grid->SetPoints(points);
    const vtkIdType good[] = {0, 1, 3, 4}, bad[] = {0, 1, 2, 7000000};
    grid->InsertNextCell(VTK_TETRA, 4, good);
    grid->InsertNextCell(VTK_TETRA, 4, bad);
    ASSERT_TRUE(writeXml<vtkXMLUnstructuredGridWriter>(grid, dir + "/grid.vtu"));
  }
  std::ofstream(dir + "/scene.sce") << R"(format = quonix-scene
version = 1
frameSets {
  s { title = "S", frames { f { drawables {
    surface { type = Surface, name = "Surface", data = "surface.vtp" }
    grid { type = Surface, name = "Grid", data = "grid.vtu" }
  } } } }
}
)";
  std::string log;
  std::unique_ptr<kvg::DrawableSession> session;
  auto surfaces = loadFirstFrameSurfaces(dir, log, session);
  ASSERT_EQ(surfaces.size(), 2u);
  vtkIdType cells = 0;
  for (auto& surface : surfaces) {
    vtkPolyData* data = surface->getPolyData();
    ASSERT_NE(data, nullptr);
    cells += data->GetNumberOfCells();
    const vtkIdType n = data->GetNumberOfPoints();
    auto ids = vtkSmartPointer<vtkIdList>::New();
    for (vtkIdType c = 0; c < data->GetNumberOfCells(); ++c) {
      data->GetCellPoints(c, ids);
      for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k) EXPECT_TRUE(ids->GetId(k) >= 0 && ids->GetId(k) < n);
    }
  }
  EXPECT_EQ(cells, 2 + 4);  // the file's two good triangles, the good tetrahedron's faces
  EXPECT_NE(log.find("'surface.vtp' has 2 cells naming points that do not exist"), std::string::npos) << log;
  EXPECT_NE(log.find("'grid.vtu' has 1 cells naming points that do not exist"), std::string::npos) << log;
  std::system(("rm -rf '" + dir + "'").c_str());
}

// The two drawable sessions of one frame: the second load shares the first's arrays (the
// unstructured grid's surface is extracted once), each session keeps its own data objects, and
// a file changed on disk or no longer held by any node is read again.
TEST(SDBReader, ASecondLoadOfAFrameSharesItsDataUntilAFileChanges) {
  char folder[] = "/tmp/quonix-shared-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder;
  auto writeGrid = [&](int tetras) {
    auto grid = vtkSmartPointer<vtkUnstructuredGrid>::New();
    auto points = vtkSmartPointer<vtkPoints>::New();
    for (int t = 0; t < tetras; ++t) {
      const vtkIdType ids[4] = {points->InsertNextPoint(t, 0, 0), points->InsertNextPoint(t + 1, 0, 0),
                                points->InsertNextPoint(t, 1, 0), points->InsertNextPoint(t, 0, 1)};
      grid->InsertNextCell(VTK_TETRA, 4, ids);
    }
    grid->SetPoints(points);
    auto writer = vtkSmartPointer<vtkXMLUnstructuredGridWriter>::New();
    writer->SetInputData(grid);
    writer->SetFileName((dir + "/grid.vtu").c_str());
    ASSERT_EQ(writer->Write(), 1);
  };
  writeGrid(1);
  {
    auto image = vtkSmartPointer<vtkImageData>::New();
    image->SetDimensions(3, 3, 3);
    image->AllocateScalars(VTK_FLOAT, 1);
    image->GetPointData()->GetScalars()->SetName("p");
    auto writer = vtkSmartPointer<vtkXMLImageDataWriter>::New();
    writer->SetInputData(image);
    writer->SetFileName((dir + "/block.vti").c_str());
    ASSERT_EQ(writer->Write(), 1);
  }
  std::ofstream(dir + "/shared.sce") << R"(format = quonix-scene
version = 1
frameSets {
  s {
    title = "S"
    frames {
      f {
        drawables {
          grid { type = Surface, name = "Grid", data = "grid.vtu" }
          block { type = Volume, name = "Block", scalars = "p", data = "block.vti" }
        }
      }
    }
  }
}
)";
  kvg::SDBReader reader;
  ASSERT_EQ(reader.open(wide(dir + "/shared.sce")), 0) << reader.getLastError();
  auto load = [&](kvg::DrawableSession& session) {
    kvg::RendererNodeStream stream(session);
    EXPECT_TRUE(reader.loadRecord(record(0, 0), stream)) << reader.getLastError();
  };
  auto surface = [](kvg::DrawableSession& s) {
    return s.getNodeRegistry().findNodesOfClass<kvg::PolyDataNode>().at(0)->getPolyData();
  };
  auto volume = [](kvg::DrawableSession& s) {
    return s.getNodeRegistry().findNodesOfClass<kvg::ImageDataNode>().at(0)->getImageData();
  };
  auto first = newSession(), second = newSession();
  load(*first);
  load(*second);
  EXPECT_NE(surface(*first), surface(*second));
  EXPECT_EQ(surface(*first)->GetPoints()->GetData(), surface(*second)->GetPoints()->GetData());
  EXPECT_EQ(surface(*first)->GetPolys(), surface(*second)->GetPolys());
  EXPECT_EQ(surface(*second)->GetNumberOfPolys(), 4);
  EXPECT_NE(volume(*first), volume(*second));
  EXPECT_EQ(volume(*first)->GetPointData()->GetScalars(), volume(*second)->GetPointData()->GetScalars());

  // A file rewritten on disk is read again (the size differs, whatever the clock's resolution).
  writeGrid(2);
  auto third = newSession();
  load(*third);
  EXPECT_EQ(surface(*third)->GetNumberOfPolys(), 8);
  EXPECT_NE(surface(*third)->GetPoints()->GetData(), surface(*first)->GetPoints()->GetData());
  EXPECT_EQ(volume(*third)->GetPointData()->GetScalars(), volume(*first)->GetPointData()->GetScalars());

  // Data no session holds any more is read from the file.
  first.reset();
  second.reset();
  third.reset();
  auto fourth = newSession();
  load(*fourth);
  EXPECT_EQ(volume(*fourth)->GetNumberOfPoints(), 27);
  for (const char* name : {"/grid.vtu", "/block.vti", "/shared.sce"}) ::unlink((dir + name).c_str());
  ::rmdir(folder);
}
