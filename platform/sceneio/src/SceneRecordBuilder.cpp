#include "kvg/SceneRecordBuilder.h"

#include <functional>
#include <map>

#include <vtkPointData.h>

#include "SceneBlock.h"
#include "SceneDataLoader.h"
#include "kvg/AnimationAttributes.h"
#include "kvg/GridDrawable.h"
#include "kvg/LICDrawable.h"
#include "kvg/LabelDrawable.h"
#include "kvg/PartDrawable.h"
#include "kvg/Plane.h"
#include "kvg/PointSphereDrawable.h"
#include "kvg/PolyLineDrawable.h"
#include "kvg/SceneCanvas.h"
#include "kvg/SceneGridDrawable.h"
#include "kvg/SphereDrawable.h"
#include "kvg/SurfaceDrawable.h"
#include "kvg/TriadDrawable.h"
#include "kvg/VectorSurfaceDrawable.h"
#include "kvg/VolumeDrawable.h"

namespace kvg {

namespace {

bool readColor(SceneBlock& b, const char* key, Vec3& out) {
  if (!b.getVec3(key, out)) return false;
  for (double c : out)
    if (c < 0.0 || c > 1.0) return b.fail(std::string("'") + key + "' must hold numbers from 0 to 1");
  return true;
}

bool readCanvas(const Properties& block, SceneCanvas& canvas, std::string& error) {
  SceneBlock b(block, "canvas");
  std::string key, title, transparency;
  Vec3 background{0, 0, 0};
  Properties backdrop, clipPlanes;
  if (!b.only({"key", "title", "background", "backdrop", "transparencyMode", "clipPlanes"}) ||
      !b.getString("key", key) || !b.getString("title", title) || !readColor(b, "background", background) ||
      !b.getBlock("backdrop", backdrop) || !b.getString("transparencyMode", transparency) ||
      !b.getBlock("clipPlanes", clipPlanes)) {
    error = b.error();
    return false;
  }
  canvas.setTitle(title);
  if (b.has("background")) canvas.setBackground(background);
  if (b.has("backdrop")) {
    SceneBlock d(backdrop, "canvas backdrop");
    Vec3 bottom{0, 0, 0}, top{0, 0, 0};
    if (!d.only({"bottom", "top"}) || !readColor(d, "bottom", bottom) || !readColor(d, "top", top)) {
      error = d.error();
      return false;
    }
    canvas.setBackdrop(bottom, top);
  }
  if (b.has("transparencyMode")) {
    if (transparency == "sorted") {
      canvas.hasBaseCanvasAttributes()->setTranparencyMode(BaseCanvasAttributes::SortedBlending);
    } else if (transparency == "depthPeeling") {
      canvas.hasBaseCanvasAttributes()->setTranparencyMode(BaseCanvasAttributes::DepthPeeling);
    } else {
      error = "canvas: 'transparencyMode' must be sorted or depthPeeling";
      return false;
    }
  }
  CollectionNode* planes = canvas.hasClipPlanesAttributes()->hasClippingPlanes();
  for (const std::string& name : clipPlanes.names()) {
    if (clipPlanes.typeOf(name) != Properties::Type::Nested) {
      error = "canvas clip plane '" + name + "' must be a block";
      return false;
    }
    Properties planeBlock = clipPlanes.getProperties(name);
    SceneBlock p(planeBlock, "canvas clip plane '" + name + "'");
    Vec3 origin{0, 0, 0}, normal{0, 0, 1};
    if (!p.only({"origin", "normal"}) || !p.getVec3("origin", origin, true) || !p.getVec3("normal", normal, true)) {
      error = p.error();
      return false;
    }
    if (normal[0] == 0 && normal[1] == 0 && normal[2] == 0) {
      error = "canvas clip plane '" + name + "': 'normal' must not be zero";
      return false;
    }
    Ptr<Plane> plane(new Plane(origin, normal));
    plane->setName(name);
    planes->addNode(plane);
  }
  return true;
}

bool readCamera(const Properties& block, Camera& camera, std::string& error) {
  SceneBlock b(block, "camera");
  Vec3 position = camera.getPosition(), focal = camera.getFocalPoint(), up = camera.getViewUp();
  double angle = camera.getViewAngle();
  if (!b.only({"position", "focalPoint", "viewUp", "viewAngle"}) || !b.getVec3("position", position, true) ||
      !b.getVec3("focalPoint", focal, true) || !b.getVec3("viewUp", up) || !b.getReal("viewAngle", angle)) {
    error = b.error();
    return false;
  }
  if (position == focal) {
    error = "camera: 'position' and 'focalPoint' must differ";
    return false;
  }
  if (angle <= 0.0 || angle >= 180.0) {
    error = "camera: 'viewAngle' must lie between 0 and 180 degrees";
    return false;
  }
  camera.setPosition(position);
  camera.setFocalPoint(focal);
  camera.setViewUp(up);
  camera.setViewAngle(angle);
  return true;
}

// ---- attribute blocks ----

bool readBase(SceneBlock& d, Drawable& drawable) {
  if (d.has("base") && !d.isBlock("base")) {
    std::string none;
    if (!d.getString("base", none) || none != "none") return d.fail("'base' must be a block or none");
    return true;
  }
  Properties block;
  d.getBlock("base", block);
  SceneBlock b(block, "base");
  bool visible = true, highlighted = false, advanced = false;
  Vec3 color{0.8, 0.8, 0.8};
  double opacity = 1.0;
  std::string colorBy, colorMap = "rainbow";
  std::vector<double> range;
  if (!b.only({"visible", "highlighted", "advancedRendering", "color", "opacity", "colorBy", "scalarRange",
               "colorMap"}) ||
      !b.getBool("visible", visible) || !b.getBool("highlighted", highlighted) ||
      !b.getBool("advancedRendering", advanced) || !readColor(b, "color", color) || !b.getReal("opacity", opacity) ||
      !b.getString("colorBy", colorBy) || !b.getReals("scalarRange", range) || !b.getString("colorMap", colorMap))
    return d.fail(b.error());
  if (opacity < 0.0 || opacity > 1.0) return d.fail("base: 'opacity' must lie from 0 to 1");
  if (b.has("scalarRange") && (range.size() != 2 || !(range[1] > range[0])))
    return d.fail("base: 'scalarRange' must be two numbers, the first the smaller");
  if (colorMap != "rainbow" && colorMap != "coolwarm" && colorMap != "grey")
    return d.fail("base: 'colorMap' must be rainbow, coolwarm or grey");
  Ptr<BaseAttributes> base(new BaseAttributes);
  base->setVisibility(visible, false);
  base->setHighlightEnabled(highlighted);
  base->setAdvancedRenderingEnabled(advanced);
  base->setColor(color);
  base->setOpacity(opacity);
  base->setColorArray(colorBy);
  base->setColorMap(colorMap);
  if (range.size() == 2) base->setScalarRange(range[0], range[1]);
  drawable.addAttributes(base);
  return true;
}

// Reads an optional attribute block with the given entries into a new attribute node.
template <class T>
bool readAttributeBlock(SceneBlock& d, const char* key, Drawable& drawable, std::initializer_list<const char*> allowed,
                        const std::function<bool(SceneBlock&, T&)>& read) {
  if (!d.has(key)) return true;
  Properties block;
  if (!d.getBlock(key, block)) return false;
  SceneBlock b(block, key);
  Ptr<T> attributes(new T);
  if (!b.only(allowed) || !read(b, *attributes)) return d.fail(b.error());
  drawable.addAttributes(attributes);
  return true;
}

bool readCommonAttributes(SceneBlock& d, Drawable& drawable) {
  return readBase(d, drawable) &&
         readAttributeBlock<LineAttributes>(d, "line", drawable, {"width"},
                                            [](SceneBlock& b, LineAttributes& a) {
                                              double w = 1.0;
                                              if (!b.getReal("width", w)) return false;
                                              if (w <= 0.0) return b.fail("'width' must be positive");
                                              a.setLineWidth(w);
                                              return true;
                                            }) &&
         readAttributeBlock<RayTraceAttributes>(d, "rayTrace", drawable, {"enabled"},
                                                [](SceneBlock& b, RayTraceAttributes& a) {
                                                  bool on = true;
                                                  if (!b.getBool("enabled", on)) return false;
                                                  a.setEnabled(on);
                                                  return true;
                                                }) &&
         readAttributeBlock<AnimationAttributes>(d, "animation", drawable, {"enabled", "axis", "speed"},
                                                 [](SceneBlock& b, AnimationAttributes& a) {
                                                   bool on = true;
                                                   Vec3 axis = a.getAxis();
                                                   double speed = a.getSpeed();
                                                   if (!b.getBool("enabled", on) || !b.getVec3("axis", axis) ||
                                                       !b.getReal("speed", speed))
                                                     return false;
                                                   a.setAnimationEnabled(on);
                                                   a.setAxis(axis);
                                                   a.setSpeed(speed);
                                                   return true;
                                                 }) &&
         readAttributeBlock<WidgetDrawableAttributes>(
             d, "widget", drawable, {"snappingAngle", "highlightColor", "defaultColor"},
             [](SceneBlock& b, WidgetDrawableAttributes& a) {
               double angle = a.getSnappingAngle();
               Vec3 highlight = a.getWidgetHighlightColor(), normal = a.getWidgetDefaultColor();
               if (!b.getReal("snappingAngle", angle) || !readColor(b, "highlightColor", highlight) ||
                   !readColor(b, "defaultColor", normal))
                 return false;
               a.setSnappingAngle(angle);
               a.setWidgetHighlightColor(highlight);
               a.setWidgetDefaultColor(normal);
               return true;
             });
}

// ---- drawable types ----

struct BuildState {
  SceneDataLoader& loader;
  std::map<std::string, Ptr<VolumeDrawable>> volumes;  // by block name
  std::vector<std::pair<Ptr<PartDrawable>, std::string>> sectionSources;
};

bool readData(SceneBlock& d, Drawable& drawable, BuildState& state, SceneDataLoader::Need need, bool required) {
  if (!d.has("data")) return required ? d.fail("'data' is missing") : true;
  std::string error;
  Ptr<Node> data = state.loader.load(d.properties(), "data", need, error);
  if (!data) return d.fail(error);
  drawable.setDataNode(data);
  return true;
}

using TypeReader = std::function<Ptr<Drawable>(SceneBlock&, BuildState&, const std::string& blockName)>;

#define COMMON "type", "name", "base", "line", "rayTrace", "animation", "widget"

Ptr<Drawable> readSurfaceLike(SceneBlock& d, BuildState& s, Ptr<Drawable> drawable) {
  if (!d.only({COMMON, "data"}) || !readData(d, *drawable, s, SceneDataLoader::AnyData, true)) return nullptr;
  return drawable;
}

const std::map<std::string, TypeReader>& typeReaders() {
  static const std::map<std::string, TypeReader> readers = {
      {"Surface", [](SceneBlock& d, BuildState& s, const std::string&) {
         return readSurfaceLike(d, s, Ptr<Drawable>(new SurfaceDrawable));
       }},
      {"LIC", [](SceneBlock& d, BuildState& s, const std::string&) {
         return readSurfaceLike(d, s, Ptr<Drawable>(new LICDrawable));
       }},
      {"VectorSurface",
       [](SceneBlock& d, BuildState& s, const std::string&) -> Ptr<Drawable> {
         Ptr<VectorSurfaceDrawable> v(new VectorSurfaceDrawable);
         if (!d.only({COMMON, "data", "glyph"}) || !readData(d, *v, s, SceneDataLoader::AnyData, true) ||
             !readAttributeBlock<GlyphAttributes>(d, "glyph", *v, {"vectors", "scale", "spacing"},
                                                  [](SceneBlock& b, GlyphAttributes& g) {
                                                    std::string vectors;
                                                    double scale = g.getScaleFactor();
                                                    int spacing = 1;
                                                    if (!b.getString("vectors", vectors) || !b.getReal("scale", scale) ||
                                                        !b.getInt("spacing", spacing))
                                                      return false;
                                                    if (spacing < 1) return b.fail("'spacing' must be at least 1");
                                                    g.setVectorArray(vectors);
                                                    g.setScaleFactor(scale);
                                                    g.setSpacing(spacing);
                                                    g.setSpacingMode(spacing > 1 ? GlyphAttributes::Spaced
                                                                                 : GlyphAttributes::EveryPoint);
                                                    return true;
                                                  }))
           return nullptr;
         return v;
       }},
      {"PointSphere",
       [](SceneBlock& d, BuildState& s, const std::string&) -> Ptr<Drawable> {
         Ptr<PointSphereDrawable> p(new PointSphereDrawable);
         if (!d.only({COMMON, "data", "pointSphere"}) || !readData(d, *p, s, SceneDataLoader::AnyData, true) ||
             !readAttributeBlock<PointSphereAttributes>(
                 d, "pointSphere", *p, {"radius", "radiusArray", "radiusRange", "style"},
                 [](SceneBlock& b, PointSphereAttributes& a) {
                   double radius = a.getRadius();
                   std::string array, style = "spheres";
                   std::vector<double> range;
                   if (!b.getReal("radius", radius) || !b.getString("radiusArray", array) ||
                       !b.getReals("radiusRange", range) || !b.getString("style", style))
                     return false;
                   if (radius <= 0.0) return b.fail("'radius' must be positive");
                   if (b.has("radiusRange") && range.size() != 4)
                     return b.fail("'radiusRange' must be 4 numbers: data min, data max, radius min, radius max");
                   if (style != "spheres" && style != "points") return b.fail("'style' must be spheres or points");
                   a.setRadius(radius);
                   a.setRadiusDataArray(array);
                   a.setPointRadiusOption(array.empty() ? PointSphereAttributes::ConstantRadius
                                                        : PointSphereAttributes::RadiusFromDataArray);
                   if (range.size() == 4) a.setRadiusRangeParams(range[0], range[1], range[2], range[3]);
                   a.setPointStyle(style == "points" ? PointSphereAttributes::FlatPoints
                                                     : PointSphereAttributes::Spheres);
                   return true;
                 }))
           return nullptr;
         return p;
       }},
      {"PolyLine",
       [](SceneBlock& d, BuildState&, const std::string&) -> Ptr<Drawable> {
         Ptr<PolyLineDrawable> l(new PolyLineDrawable);
         std::vector<double> points;
         if (!d.only({COMMON, "points"}) || !d.getReals("points", points, true, 3, 6)) return nullptr;
         l->setPoints(points);
         return l;
       }},
      {"Sphere",
       [](SceneBlock& d, BuildState&, const std::string&) -> Ptr<Drawable> {
         Ptr<SphereDrawable> sphere(new SphereDrawable);
         Vec3 center{0, 0, 0};
         double radius = sphere->getRadius();
         if (!d.only({COMMON, "center", "radius"}) || !d.getVec3("center", center, true) ||
             !d.getReal("radius", radius, true))
           return nullptr;
         if (radius <= 0) return d.fail("'radius' must be positive"), nullptr;
         sphere->setCenter(center);
         sphere->setRadius(radius);
         return sphere;
       }},
      {"Triad",
       [](SceneBlock& d, BuildState&, const std::string&) -> Ptr<Drawable> {
         if (!d.only({COMMON})) return nullptr;
         return Ptr<Drawable>(new TriadDrawable);
       }},
      {"Grid",
       [](SceneBlock& d, BuildState&, const std::string&) -> Ptr<Drawable> {
         Ptr<GridDrawable> g(new GridDrawable);
         Vec3 origin = g->getOrigin(), a1 = g->getAxis1(), a2 = g->getAxis2();
         std::vector<double> divisions{10, 10};
         bool showAxis = true;
         if (!d.only({COMMON, "origin", "axis1", "axis2", "divisions", "showAxis"}) || !d.getVec3("origin", origin) ||
             !d.getVec3("axis1", a1) || !d.getVec3("axis2", a2) || !d.getReals("divisions", divisions) ||
             !d.getBool("showAxis", showAxis))
           return nullptr;
         if (divisions.size() != 2 || divisions[0] < 1 || divisions[1] < 1 || divisions[0] > 1000 ||
             divisions[1] > 1000)
           return d.fail("'divisions' must be two whole numbers from 1 to 1000"), nullptr;
         g->setOrigin(origin);
         g->setAxis1(a1);
         g->setAxis2(a2);
         g->setDivisions(int(divisions[0]), int(divisions[1]));
         g->setShowAxis(showAxis);
         return g;
       }},
      {"SceneGrid",
       [](SceneBlock& d, BuildState&, const std::string&) -> Ptr<Drawable> {
         Ptr<SceneGridDrawable> g(new SceneGridDrawable);
         Vec3 center = g->getCenter();
         double size = g->getSize();
         int divisions = g->getDivisions();
         if (!d.only({COMMON, "center", "size", "divisions"}) || !d.getVec3("center", center) ||
             !d.getReal("size", size) || !d.getInt("divisions", divisions))
           return nullptr;
         if (size <= 0 || divisions < 1 || divisions > 1000)
           return d.fail("'size' must be positive and 'divisions' from 1 to 1000"), nullptr;
         g->setCenter(center);
         g->setSize(size);
         g->setDivisions(divisions);
         return g;
       }},
      {"Label",
       [](SceneBlock& d, BuildState&, const std::string&) -> Ptr<Drawable> {
         Ptr<LabelDrawable> l(new LabelDrawable);
         std::string text;
         Vec3 position{0, 0, 0};
         double height = l->getHeight();
         if (!d.only({COMMON, "text", "position", "height"}) || !d.getString("text", text, true) ||
             !d.getVec3("position", position) || !d.getReal("height", height))
           return nullptr;
         if (height <= 0) return d.fail("'height' must be positive"), nullptr;
         l->setText(text);
         l->setPosition(position);
         l->setHeight(height);
         return l;
       }},
      {"Volume",
       [](SceneBlock& d, BuildState& s, const std::string& blockName) -> Ptr<Drawable> {
         Ptr<VolumeDrawable> v(new VolumeDrawable);
         std::string scalars, vectors;
         if (!d.only({COMMON, "data", "scalars", "vectors", "volumeRendering", "isoSurface"}) ||
             !readData(d, *v, s, SceneDataLoader::ImageData, true) || !d.getString("scalars", scalars) ||
             !d.getString("vectors", vectors))
           return nullptr;
         ImageDataNode* image = v->getImageDataNode();
         if (!scalars.empty() && !image->setScalarArrayName(scalars))
           return d.fail("the volume data has no point array '" + scalars + "'"), nullptr;
         if (!vectors.empty() && !image->setVectorArrayName(vectors))
           return d.fail("the volume data has no 3-component point array '" + vectors + "'"), nullptr;
         if (image->getScalarArrayName().empty()) return d.fail("the volume data has no scalar field"), nullptr;
         const std::string field = image->getScalarArrayName();
         if (!readAttributeBlock<VolumeRenderingAttributes>(d, "volumeRendering", *v, {"mode", "opacity", "colorMap"},
                                                            [](SceneBlock& b, VolumeRenderingAttributes& a) {
                                                              std::string mode = "direct", map = a.getColorMap();
                                                              double opacity = a.getOpacity();
                                                              if (!b.getString("mode", mode) ||
                                                                  !b.getReal("opacity", opacity) ||
                                                                  !b.getString("colorMap", map))
                                                                return false;
                                                              if (mode != "direct" && mode != "isoSurfaces")
                                                                return b.fail("'mode' must be direct or isoSurfaces");
                                                              if (opacity < 0 || opacity > 1)
                                                                return b.fail("'opacity' must lie from 0 to 1");
                                                              a.setRenderingMode(
                                                                  mode == "isoSurfaces"
                                                                      ? VolumeRenderingAttributes::IsoSurfaces
                                                                      : VolumeRenderingAttributes::DirectVolume);
                                                              a.setOpacity(opacity);
                                                              a.setColorMap(map);
                                                              return true;
                                                            }) ||
             !readAttributeBlock<IsoSurfaceAttributes>(d, "isoSurface", *v, {"field", "values"},
                                                       [&](SceneBlock& b, IsoSurfaceAttributes& a) {
                                                         std::string f = field;
                                                         std::vector<double> values;
                                                         if (!b.getString("field", f) ||
                                                             !b.getReals("values", values, true))
                                                           return false;
                                                         if (!image->getImageData()->GetPointData()->GetArray(f.c_str()))
                                                           return b.fail("the volume data has no point array '" + f +
                                                                         "'");
                                                         a.setFieldName(f);
                                                         a.setIsoValues(values);
                                                         return true;
                                                       }))
           return nullptr;
         s.volumes[blockName] = v;
         return v;
       }},
      {"Part",
       [](SceneBlock& d, BuildState& s, const std::string&) -> Ptr<Drawable> {
         Ptr<PartDrawable> p(new PartDrawable);
         std::string kind, source;
         std::vector<std::string> highlightedBy;
         Vec3 position{0, 0, 0}, point1{0, 0, 0}, point2{0, 0, 0}, origin{0, 0, 0}, normal{0, 0, 1};
         double size = p->getSize();
         if (!d.only({COMMON, "part", "position", "point1", "point2", "origin", "normal", "size", "source",
                      "planeAxis", "highlightedBy"}) ||
             !d.getString("part", kind, true) || !d.getReal("size", size) || !d.getString("source", source) ||
             !d.getStrings("highlightedBy", highlightedBy))
           return nullptr;
         p->setHighlightedBy(highlightedBy);
         static const std::map<std::string, int> kinds = {
             {"point", PartDrawable::PointPart},           {"PointPart", PartDrawable::PointPart},
             {"line", PartDrawable::LinePart},             {"LinePart", PartDrawable::LinePart},
             {"plane section", PartDrawable::PlaneSection}, {"PlaneSection", PartDrawable::PlaneSection},
             {"plane probe", PartDrawable::PlaneProbePart}, {"PlaneProbePart", PartDrawable::PlaneProbePart}};
         auto found = kinds.find(kind);
         if (found == kinds.end())
           return d.fail("'part' must be point, line, plane section or plane probe"), nullptr;
         const int type = found->second;
         if (size <= 0) return d.fail("'size' must be positive"), nullptr;
         p->setPartType(type);
         p->setSize(size);
         bool ok = true;
         switch (type) {
           case PartDrawable::PointPart:
             ok = d.getVec3("position", position, true);
             p->setP0(position);
             break;
           case PartDrawable::LinePart:
             ok = d.getVec3("point1", point1, true) && d.getVec3("point2", point2, true);
             p->setP0(point1);
             p->setP1(point2);
             break;
           case PartDrawable::PlaneSection:
             ok = d.getVec3("origin", origin, true) && d.getVec3("normal", normal, true);
             if (ok && normal[0] == 0 && normal[1] == 0 && normal[2] == 0) ok = d.fail("'normal' must not be zero");
             p->setP0(origin);
             p->setP1(normal);
             if (!source.empty()) s.sectionSources.emplace_back(p, source);
             break;
           default:
             ok = d.getVec3("point1", point1, true) && d.getVec3("point2", point2, true) &&
                  d.getVec3("origin", origin, true);
             p->setP0(point1);
             p->setP1(point2);
             p->setP2(origin);
         }
         if (!ok) return nullptr;
         if (!source.empty() && type != PartDrawable::PlaneSection)
           return d.fail("only a plane section takes a 'source'"), nullptr;
         if (!readAttributeBlock<BoundedPlaneAxisAttribute>(d, "planeAxis", *p, {"showAxis"},
                                                            [](SceneBlock& b, BoundedPlaneAxisAttribute& a) {
                                                              bool show = true;
                                                              if (!b.getBool("showAxis", show)) return false;
                                                              a.setShowAxis(show);
                                                              return true;
                                                            }))
           return nullptr;
         return p;
       }},
  };
  return readers;
}

#undef COMMON

}  // namespace

SceneRecordBuilder::SceneRecordBuilder(RendererNodeStream& stream, const std::string& baseDirectory,
                                       SharedDataFiles* shared)
    : _stream(stream), _baseDirectory(baseDirectory), _shared(shared) {}

SceneRecordBuilder::~SceneRecordBuilder() = default;

const std::vector<std::string>& SceneRecordBuilder::getDrawableTypes() {
  static const std::vector<std::string> types = [] {
    std::vector<std::string> t;
    for (const auto& e : typeReaders()) t.push_back(e.first);
    return t;
  }();
  return types;
}

bool SceneRecordBuilder::checkCanvas(const Properties& canvas, std::string& error) {
  SceneCanvas scratch;
  return readCanvas(canvas, scratch, error);
}

bool SceneRecordBuilder::checkCamera(const Properties& camera, std::string& error) {
  if (camera.empty()) return true;
  Camera scratch;
  return readCamera(camera, scratch, error);
}

bool SceneRecordBuilder::buildRecord(const Properties& record) {
  return build(record.getString("CanvasKey"), record.getProperties("Canvas"), record.getProperties("Camera"),
               record.getProperties("FrameContent"));
}

bool SceneRecordBuilder::inlineFrameData(const Properties& frame, const std::string& baseDirectory, Properties& out,
                                         std::string& error) {
  out = frame;
  const Properties drawables = frame.getProperties("drawables");
  Properties inlined;
  SceneDataLoader loader(baseDirectory);
  for (const std::string& name : drawables.names()) {
    Properties drawable = drawables.getProperties(name);
    const Properties::Type type = drawable.typeOf("data");
    if (type == Properties::Type::String || type == Properties::Type::StringList) {
      const SceneDataLoader::Need need =
          drawable.getString("type") == "Volume" ? SceneDataLoader::ImageData : SceneDataLoader::AnyData;
      Ptr<Node> data = loader.load(drawable, "data", need, error);
      if (!data) {
        error = "drawable '" + name + "': " + error;
        return false;
      }
      drawable.set("data", SceneDataLoader::toInline(*data));
    }
    inlined.set(name, drawable);
  }
  if (frame.hasName("drawables")) out.set("drawables", inlined);
  return true;
}

bool SceneRecordBuilder::build(const std::string& canvasKey, const Properties& canvasBlock,
                               const Properties& cameraBlock, const Properties& frame) {
  _error.clear();
  Ptr<SceneCanvas> canvas(new SceneCanvas);
  if (!readCanvas(canvasBlock, *canvas, _error)) return false;

  SceneBlock f(frame, "");
  Properties frameCamera, drawables;
  if (!f.getBlock("camera", frameCamera) || !f.getBlock("drawables", drawables)) {
    _error = f.error();
    return false;
  }
  const Properties& cameraSource = frame.hasName("camera") ? frameCamera : cameraBlock;
  if (!cameraSource.empty()) {
    Ptr<Camera> camera(new Camera);
    if (!readCamera(cameraSource, *camera, _error)) return false;
    canvas->setCamera(camera);
  }

  SceneDataLoader loader(_baseDirectory, _shared);
  BuildState state{loader, {}, {}};
  for (const std::string& name : drawables.names()) {
    if (drawables.typeOf(name) != Properties::Type::Nested) {
      _error = "drawable '" + name + "' must be a block";
      return false;
    }
    const Properties block = drawables.getProperties(name);
    SceneBlock d(block, "drawable '" + name + "'");
    std::string type, nodeName = name;
    if (!d.getString("type", type, true) || !d.getString("name", nodeName)) {
      _error = d.error();
      return false;
    }
    auto reader = typeReaders().find(type);
    if (reader == typeReaders().end()) {
      std::string known;
      for (const std::string& t : getDrawableTypes()) known += (known.empty() ? "" : ", ") + t;
      _error = "drawable '" + name + "': unknown type '" + type + "' (known: " + known + ")";
      return false;
    }
    Ptr<Drawable> drawable = reader->second(d, state, name);
    if (drawable && !readCommonAttributes(d, *drawable)) drawable.reset();
    if (!drawable) {
      _error = d.error().empty() ? "drawable '" + name + "' could not be read" : d.error();
      return false;
    }
    if (PartDrawable* part = drawable.tryCast<PartDrawable>()) {
      // The part widgets know a part's type by its name.
      const char* typeName = PartDrawable::partTypeName(part->getPartType());
      if (nodeName.find(typeName) == std::string::npos) nodeName = std::string(typeName) + " " + nodeName;
    }
    drawable->setName(nodeName);
    canvas->getDrawables()->addNode(drawable);
  }
  for (auto& entry : state.sectionSources) {
    auto volume = state.volumes.find(entry.second);
    if (volume == state.volumes.end()) {
      _error = "drawable '" + entry.first->getName() + "': 'source' names no volume of this frame: '" +
               entry.second + "'";
      return false;
    }
    entry.first->setDataNode(volume->second->getDataNode());
  }
  if (_stream.addNode(canvas, canvasKey).empty()) {
    _error = "the canvas key '" + canvasKey + "' cannot be used";
    return false;
  }
  return true;
}

}  // namespace kvg
