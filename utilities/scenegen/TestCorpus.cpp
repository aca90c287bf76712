#include "TestCorpus.h"

#include <cstdint>
#include <vector>

#include <vtkCellArray.h>
#include <vtkDoubleArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include "SceneWriter.h"

namespace scenegen {

namespace {

using Reals = std::vector<double>;

// A unit square in the x-y plane with a point array "value".
Properties quadData(double z = 0.0) {
  Properties data;
  data.set("points", Reals{0, 0, z, 1, 0, z, 1, 1, z, 0, 1, z});
  data.set("polys", Reals{4, 0, 1, 2, 3});
  Properties pointData;
  pointData.set("value", Reals{0.0, 1.0, 2.0, 3.0});
  data.set("pointData", pointData);
  return data;
}

Properties quadDrawable(const std::string& name = "Plate Boundary") {
  Properties d;
  d.set("type", "Surface");
  d.set("name", name);
  d.set("data", quadData());
  Properties base;
  base.set("colorBy", "value");
  d.set("base", base);
  return d;
}

Properties frame(const std::string* description, const Properties& drawables) {
  Properties f;
  if (description) f.set("description", *description);
  f.set("drawables", drawables);
  return f;
}

Properties quadFrame(const std::string* description = nullptr) {
  Properties drawables;
  drawables.set("plate", quadDrawable());
  return frame(description, drawables);
}

Properties frameSet(const std::string& title, const std::vector<Properties>& frames) {
  Properties set, list;
  set.set("title", title);
  for (size_t i = 0; i < frames.size(); ++i) list.set("f" + std::to_string(i), frames[i]);
  set.set("frames", list);
  return set;
}

Properties withSets(const std::vector<Properties>& sets, const std::string& status = "complete") {
  Properties doc = sceneDocument(status);
  Properties canvas;
  canvas.set("title", "Test scene");
  canvas.set("background", Reals{0.1, 0.1, 0.1});
  doc.set("canvas", canvas);
  Properties list;
  for (size_t i = 0; i < sets.size(); ++i) list.set("s" + std::to_string(i), sets[i]);
  doc.set("frameSets", list);
  return doc;
}

std::string sceneText(const Properties& doc) { return "# Test scene\n" + doc.toText(); }

std::vector<unsigned char> garbage(size_t n, uint32_t seed) {
  std::vector<unsigned char> bytes(n);
  for (unsigned char& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<unsigned char>(seed >> 24);
  }
  return bytes;
}

void writeQuadVtp(const std::string& path) {
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->InsertNextPoint(0, 0, 0);
  points->InsertNextPoint(1, 0, 0);
  points->InsertNextPoint(0, 1, 0);
  auto polys = vtkSmartPointer<vtkCellArray>::New();
  vtkIdType t[3] = {0, 1, 2};
  polys->InsertNextCell(3, t);
  auto pd = vtkSmartPointer<vtkPolyData>::New();
  pd->SetPoints(points);
  pd->SetPolys(polys);
  writePolyData(path, pd);
}

// ---- the scene holding every class the VR adaptation changes ----

Properties drawable(const std::string& type, const std::string& name) { return drawableBlock(type, name); }

Properties lineWidth(double w) { return single("width", w); }

Properties pointCloud(bool withRadii) {
  Properties data;
  data.set("points", Reals{0, 0, 0, 0.5, 0, 0, 1, 0, 0});
  if (withRadii) {
    Properties pointData, radii;
    radii.set("components", 3);
    radii.set("values", Reals{0.1, 0.1, 0.1, 0.2, 0.2, 0.2, 0.3, 0.3, 0.3});
    pointData.set("radii", radii);
    data.set("pointData", pointData);
  }
  return data;
}

Properties vectorQuad() {
  Properties data = quadData();
  Properties pointData = data.getProperties("pointData");
  Properties v;
  v.set("components", 3);
  v.set("values", Reals{1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0});
  pointData.set("velocity", v);
  data.set("pointData", pointData);
  return data;
}

Properties smallVolume() {
  Properties data;
  data.set("dimensions", Reals{4, 4, 4});
  data.set("origin", Reals{0, 0, 0});
  data.set("spacing", Reals{0.25, 0.25, 0.25});
  Reals p, v;
  for (int k = 0; k < 4; ++k)
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 4; ++i) {
        p.push_back(i + j + k);
        v.insert(v.end(), {1.0, 0.1 * j, 0.0});
      }
  Properties pointData, velocity;
  pointData.set("pressure", p);
  velocity.set("components", 3);
  velocity.set("values", v);
  pointData.set("velocity", velocity);
  data.set("pointData", pointData);
  return data;
}

Properties everyClassScene() {
  Properties d;  // drawables
  {
    Properties x = drawable("PolyLine", "PickLine");
    x.set("points", Reals{0, 0, 0, 1, 1, 1});
    x.set("line", lineWidth(1.0));
    d.set("pickLine", x);
  }
  for (const char* name : {"PickLineStart", "PickLineEnd"}) {
    Properties x = drawable("Sphere", name);
    x.set("center", Reals{0, 0, 0});
    x.set("radius", 0.05);
    d.set(std::string("sphere") + name, x);
  }
  {
    // Look-alikes the adaptation must leave visible.
    Properties x = drawable("Sphere", "PickLine");
    x.set("center", Reals{1, 1, 1});
    x.set("radius", 0.05);
    d.set("sphereNamedPickLine", x);
    Properties y = drawable("PolyLine", "PickLineStart");
    y.set("points", Reals{0, 1, 0, 1, 1, 0});
    y.set("line", lineWidth(2.0));
    d.set("lineNamedPickLineStart", y);
    Properties z = drawable("PolyLine", "PickLineX");
    z.set("points", Reals{0, 2, 0, 1, 2, 0});
    z.set("line", lineWidth(3.5));
    d.set("lineNamedPickLineX", z);
  }
  d.set("triad", drawable("Triad", "Axes"));
  {
    Properties x = drawable("Grid", "Floor grid");
    x.set("showAxis", true);
    x.set("divisions", Reals{4, 4});
    d.set("grid", x);
  }
  {
    Properties x = drawable("SceneGrid", "Scene grid");
    x.set("size", 4.0);
    d.set("sceneGrid", x);
  }
  {
    Properties x = drawable("Label", "Caption");
    x.set("text", "Label");
    d.set("label", x);
  }
  {
    Properties spaced = drawable("VectorSurface", "Spaced arrows");
    spaced.set("data", vectorQuad());
    Properties g;
    g.set("vectors", "velocity");
    g.set("spacing", 2);
    spaced.set("glyph", g);
    d.set("spacedArrows", spaced);
    Properties every = drawable("VectorSurface", "Every arrow");
    every.set("data", vectorQuad());
    every.set("glyph", single("vectors", "velocity"));
    d.set("everyArrow", every);
    Properties bare = drawable("VectorSurface", "No glyph attributes");
    bare.set("data", vectorQuad());
    d.set("bareVectors", bare);
  }
  {
    Properties x = drawable("PointSphere", "Particles");
    Properties sets;
    sets.set("withRadii", pointCloud(true));
    sets.set("withoutRadii", pointCloud(false));
    x.set("data", sets);
    x.set("pointSphere", single("radius", 0.02));
    d.set("particles", x);
    Properties y = drawable("PointSphere", "Single cloud");
    y.set("data", pointCloud(false));
    d.set("singleCloud", y);
  }
  {
    Properties x = drawable("Surface", "Highlighted Boundary");
    x.set("data", quadData(0.5));
    Properties base;
    base.set("highlighted", true);
    base.set("advancedRendering", true);
    x.set("base", base);
    x.set("rayTrace", single("enabled", true));
    Properties anim;
    anim.set("enabled", true);
    anim.set("speed", 30.0);
    x.set("animation", anim);
    d.set("highlighted", x);
    Properties y = drawable("Surface", "Without base attributes");
    y.set("data", quadData(0.75));
    y.set("base", "none");
    d.set("noBase", y);
  }
  {
    Properties x = drawable("LIC", "Surface LIC");
    Properties sets;
    sets.set("a", quadData(1.0));
    sets.set("b", quadData(1.25));
    x.set("data", sets);
    d.set("lic", x);
  }
  {
    Properties x = drawable("Volume", "Small volume");
    x.set("data", smallVolume());
    x.set("scalars", "pressure");
    x.set("vectors", "velocity");
    x.set("volumeRendering", single("mode", "isoSurfaces"));
    x.set("isoSurface", single("values", Reals{2.0, 4.0, 6.0}));
    d.set("volume", x);
  }
  {
    Properties section = drawable("Part", "Mid section");
    section.set("part", "plane section");
    section.set("origin", Reals{0.4, 0.4, 0.4});
    section.set("normal", Reals{0, 0, 1});
    section.set("source", "volume");
    section.set("planeAxis", single("showAxis", true));
    section.set("widget", single("snappingAngle", 5.0));
    d.set("section", section);
    Properties probe = drawable("Part", "Probe");
    probe.set("part", "plane probe");
    probe.set("point1", Reals{1, 0, 0});
    probe.set("point2", Reals{0, 1, 0});
    probe.set("origin", Reals{0, 0, 0});
    probe.set("widget", Properties());
    d.set("probe", probe);
    Properties point = drawable("Part", "Point 1");
    point.set("part", "point");
    point.set("position", Reals{0.2, 0.2, 0.2});
    d.set("point", point);
    Properties line = drawable("Part", "Line 1");
    line.set("part", "line");
    line.set("point1", Reals{0, 0, 0});
    line.set("point2", Reals{0, 0, 1});
    d.set("line", line);
  }
  Properties doc = sceneDocument();
  Properties canvas;
  canvas.set("key", "SceneCanvas_7");
  canvas.set("title", "Every class");
  canvas.set("background", Reals{0.0, 0.0, 0.0});
  canvas.set("backdrop", [] {
    Properties b;
    b.set("bottom", Reals{0.1, 0.1, 0.2});
    b.set("top", Reals{0.3, 0.3, 0.5});
    return b;
  }());
  canvas.set("transparencyMode", "depthPeeling");
  Properties planes, plane;
  plane.set("origin", Reals{0, 0, 0});
  plane.set("normal", Reals{0, 0, 1});
  planes.set("floor", plane);
  canvas.set("clipPlanes", planes);
  doc.set("canvas", canvas);
  Properties sets;
  std::string description = "All the classes";
  sets.set("all", frameSet("Every class", {frame(&description, d)}));
  doc.set("frameSets", sets);
  return doc;
}

std::vector<ArchiveEntry> compressedSceneEntries(const std::string& folder) {
  Properties doc = withSets({});
  Properties drawables, plate;
  plate.set("type", "Surface");
  plate.set("name", "Plate Boundary");
  plate.set("data", "compressed_data/plate.vtp");
  drawables.set("plate", plate);
  std::string description = "From an archive";
  Properties sets;
  sets.set("s0", frameSet("Compressed", {frame(&description, drawables)}));
  doc.set("frameSets", sets);
  writeQuadVtp(folder + "/.plate.vtp");
  std::vector<ArchiveEntry> entries;
  entries.push_back({"compressed_scene.sce", sceneText(doc)});
  entries.push_back({"compressed_data", "", ArchiveEntry::Folder});
  entries.push_back({"compressed_data/plate.vtp", readFile(folder + "/.plate.vtp")});
  std::remove((folder + "/.plate.vtp").c_str());
  return entries;
}

}  // namespace

void writeTestCorpus(const std::string& folder) {
  makeFolder(folder);
  const std::string one = "Only frame";
  writeScene(folder + "/one_set_one_frame.sce", withSets({frameSet("Single set", {quadFrame(&one)})}),
             "One frame set with one frame.");

  const std::string first = "First frame", third = "Third frame";
  writeScene(folder + "/sets_1_and_3_frames.sce",
             withSets({frameSet("One frame", {quadFrame()}),
                       frameSet("Three frames", {quadFrame(&first), quadFrame(), quadFrame(&third)})}),
             "A set with one frame without description; a set with three frames, the middle one without.");

  {
    Properties doc = sceneDocument();
    doc.set("frameSets", Properties());
    writeScene(folder + "/zero_sets.sce", doc, "No frame sets at all.");
  }
  writeScene(folder + "/set_without_frames.sce",
             withSets({frameSet("Empty set", {}), frameSet("Full set", {quadFrame(&one)})}),
             "The first frame set has no frames.");

  {
    const std::string quoted = "Say \"hello\"", backslash = "C:\\data\\run 7",
                      accents = "Strömung über Ørsted – Ω", injection = "x\"); Qt.quit(); (\"";
    const std::string odd = "Frame with \"quotes\", \\ and ü";
    writeScene(folder + "/special_titles.sce",
               withSets({frameSet(quoted, {quadFrame(&odd), quadFrame()}), frameSet(backslash, {quadFrame()}),
                         frameSet(accents, {quadFrame(&accents)}), frameSet(injection, {quadFrame(&injection)})}),
               "Titles with quotes, backslashes, non-ASCII letters and QML.");
  }

  {
    const std::string second = "Second twin";
    writeScene(folder + "/duplicate_titles.sce",
               withSets({frameSet("Twin", {quadFrame()}), frameSet("Twin", {quadFrame(), quadFrame(&second)})}),
               "Two frame sets with the same title: one frame, then two.");
    std::vector<Properties> sets;
    for (int i = 0; i < 11; ++i) sets.push_back(frameSet("Set " + std::to_string(i), {quadFrame()}));
    std::vector<Properties> frames(11, quadFrame());
    sets.push_back(frameSet("Eleven frames", frames));
    writeScene(folder + "/twelve_sets.sce", withSets(sets),
               "Twelve frame sets, enough for a combo box; the last has eleven frames.");
  }

  writeScene(folder + "/being_written.sce", withSets({frameSet("Growing", {quadFrame()})}, "being written"),
             "A solver is still writing this scene.");
  {
    std::string text = sceneText(withSets({frameSet("Growing", {quadFrame(), quadFrame()})}, "being written"));
    writeText(folder + "/being_written_partial.sce", text.substr(0, text.size() * 2 / 3));
  }

  {
    makeFolder(folder + "/broken_record_data");
    writeQuadVtp(folder + "/broken_record_data/good.vtp");
    writeText(folder + "/broken_record_data/corrupt.vtp",
              "<?xml version=\"1.0\"?>\n<VTKFile type=\"PolyData\" version=\"1.0\">\n<PolyData>\n<Piece "
              "NumberOfPoints=\"3\" NumberOfPolys=\"1\">\n<Points><DataArray type=\"Float32\" "
              "NumberOfComponents=\"3\" format=\"ascii\">0 0 0 1 0");
    auto fileDrawable = [](const std::string& file) {
      Properties d;
      d.set("type", "Surface");
      d.set("data", file);
      return d;
    };
    auto twoDrawables = [&](const Properties& second) {
      Properties drawables;
      drawables.set("good", fileDrawable("broken_record_data/good.vtp"));
      drawables.set("bad", second);
      return frame(nullptr, drawables);
    };
    Properties unknownType;
    unknownType.set("type", "Teapot");
    Properties badCells = quadDrawable();
    Properties data = quadData();
    data.set("polys", Reals{4, 0, 1, 2, 9});
    badCells.set("data", data);
    writeScene(folder + "/broken_record.sce",
               withSets({frameSet("Broken", {twoDrawables(fileDrawable("broken_record_data/good.vtp")),
                                             twoDrawables(fileDrawable("broken_record_data/missing.vtp")),
                                             twoDrawables(fileDrawable("broken_record_data/corrupt.vtp")),
                                             twoDrawables(unknownType),
                                             twoDrawables(fileDrawable("../outside.vtp")),
                                             twoDrawables(badCells)})}),
               "Frame 0 loads; frames 1 to 5 each fail half-way: a missing data file, a damaged one,\n"
               "an unknown drawable type, a data file outside the scene's folder, a cell naming no point.");
  }

  {
    // A grid as a broken exporter writes it: its points' block header states a block size of 0.
    makeFolder(folder + "/damaged_grid_data");
    const char head[] =
        "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" byte_order=\"LittleEndian\" "
        "header_type=\"UInt32\" compressor=\"vtkZLibDataCompressor\">\n<UnstructuredGrid>\n<Piece NumberOfPoints=\"4\" "
        "NumberOfCells=\"1\">\n<Points><DataArray type=\"Float32\" Name=\"Points\" NumberOfComponents=\"3\" "
        "format=\"appended\" offset=\"0\"/></Points>\n<Cells>\n"
        "<DataArray type=\"Int64\" Name=\"connectivity\" format=\"appended\" offset=\"16\"/>\n"
        "<DataArray type=\"Int64\" Name=\"offsets\" format=\"appended\" offset=\"16\"/>\n"
        "<DataArray type=\"UInt8\" Name=\"types\" format=\"appended\" offset=\"16\"/>\n</Cells>\n</Piece>\n"
        "</UnstructuredGrid>\n<AppendedData encoding=\"raw\">\n_";
    const uint32_t header[4] = {1, 0, 48, 0};  // blocks, block size, last block size, compressed size
    writeText(folder + "/damaged_grid_data/grid.vtu",
              head + std::string(reinterpret_cast<const char*>(header), sizeof header) +
                  "\n</AppendedData>\n</VTKFile>\n");
    Properties grid;
    grid.set("type", "Surface");
    grid.set("data", "damaged_grid_data/grid.vtu");
    Properties drawables;
    drawables.set("grid", grid);
    writeScene(folder + "/damaged_grid.sce", withSets({frameSet("Damaged", {frame(nullptr, drawables)})}),
               "One frame whose grid file states a block size of 0.");
  }

  writeScene(folder + "/every_class.sce", everyClassScene(),
             "Every drawable and attribute class the VR adaptation changes.");

  {
    std::vector<ArchiveEntry> entries = compressedSceneEntries(folder);
    writeArchive(folder + "/compressed.sce", entries, "zip");
    writeArchive(folder + "/compressed.tar.gz", entries, "tar.gz");

    std::vector<ArchiveEntry> traversal = entries;
    traversal.push_back({"../quonix_escaped_by_archive.txt", "escaped"});
    writeArchive(folder + "/traversal.zip", traversal, "zip");
    std::vector<ArchiveEntry> absolute = entries;
    absolute.push_back({"/tmp/quonix_absolute_from_archive.txt", "escaped"});
    writeArchive(folder + "/absolute.tar.gz", absolute, "tar.gz");
    std::vector<ArchiveEntry> link = entries;
    link.push_back({"compressed_data/link", "", ArchiveEntry::Symlink, "/tmp"});
    link.push_back({"compressed_data/link/quonix_through_link.txt", "escaped"});
    writeArchive(folder + "/symlink.tar.gz", link, "tar.gz");
    std::vector<ArchiveEntry> big = entries;
    big.push_back({"compressed_data/big.bin", std::string(3u << 20, '\0')});
    writeArchive(folder + "/oversized.zip", big, "zip");
    std::vector<ArchiveEntry> many = entries;
    for (int i = 0; i < 200; ++i) many.push_back({"compressed_data/file" + std::to_string(i) + ".txt", "x"});
    writeArchive(folder + "/many_entries.zip", many, "zip");
    std::vector<ArchiveEntry> two = entries;
    two.push_back({"second.sce", entries[0].bytes});
    writeArchive(folder + "/two_scenes.zip", two, "zip");
    writeArchive(folder + "/no_scene.zip", {{"readme.txt", "nothing here"}}, "zip");
  }

  writeBytes(folder + "/garbage.sce", garbage(4096, 12345));
  writeText(folder + "/not_a_scene.sce", "This is a letter, not a scene.\nformat = quonix-scene\n");
  writeText(folder + "/empty.sce", "");
  writeText(folder + "/syntax_error.sce", "format = quonix-scene\nversion = 1\nframeSets {\n  s0 { title = \"A\"\n");
  writeText(folder + "/duplicate_key.sce",
            "format = quonix-scene\nversion = 1\nframeSets {\n  s0 { title = \"A\" }\n  s0 { title = \"B\" }\n}\n");
  writeText(folder + "/unsupported_version.sce", "format = quonix-scene\nversion = 2\n");
  writeText(folder + "/bad_structure.sce",
            "format = quonix-scene\nversion = 1\nframeSets {\n  s0 { title = \"A\"\n frames = 3 }\n}\n");
  writeText(folder + "/bad_canvas_key.sce", "format = quonix-scene\nversion = 1\ncanvas { key = \"Canvas 1\" }\n");
}

}  // namespace scenegen
