#include "kvg/DrawablePropFactory.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

#include <vtkAppendPolyData.h>
#include <vtkArrowSource.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkCutter.h>
#include <vtkDoubleArray.h>
#include <vtkGeometryFilter.h>
#include <vtkGlyph3D.h>
#include <vtkLookupTable.h>
#include <vtkMaskPoints.h>
#include <vtkPlane.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProp3D.h>
#include <vtkProperty.h>
#include <vtkSphereSource.h>
#include <vtkTransform.h>
#include <vtkTransformPolyDataFilter.h>
#include <vtkUnsignedCharArray.h>
#include <vtkVectorText.h>
#include <vtkVertexGlyphFilter.h>

#include "kvg/CollectionNode.h"
#include "kvg/DrawableProp.h"
#include "kvg/FreeTypeFontManager.h"
#include "kvg/GridDrawable.h"
#include "kvg/ImageDataNode.h"
#include "kvg/LICDrawable.h"
#include "kvg/LabelDrawable.h"
#include "kvg/PartDrawable.h"
#include "kvg/PointSphereDrawable.h"
#include "kvg/PolyDataNode.h"
#include "kvg/PolyLineDrawable.h"
#include "kvg/SceneGridDrawable.h"
#include "kvg/SphereDrawable.h"
#include "kvg/SurfaceDrawable.h"
#include "kvg/TriadDrawable.h"
#include "kvg/VectorSurfaceDrawable.h"

namespace kvg {

namespace {

const Vec3 highlightColor{1.0, 0.75, 0.1};

// ---- data gathering ----

vtkSmartPointer<vtkPolyData> surfaceOf(vtkDataSet* data) {
  auto filter = vtkSmartPointer<vtkGeometryFilter>::New();
  filter->SetInputData(data);
  filter->Update();
  return filter->GetOutput();
}

// The drawable's data as one poly data: a poly-data node as it is, the surface of image
// data, the poly data of a collection appended. Null when there is nothing.
vtkSmartPointer<vtkPolyData> gatherPolyData(const Ptr<Object>& data) {
  if (PolyDataNode* p = data.tryCast<PolyDataNode>()) return p->getPolyData();
  if (ImageDataNode* i = data.tryCast<ImageDataNode>()) return surfaceOf(i->getImageData());
  CollectionNode* c = data.tryCast<CollectionNode>();
  if (!c) return nullptr;
  auto append = vtkSmartPointer<vtkAppendPolyData>::New();
  int inputs = 0;
  CollectionNode::Iterator it(*c);
  while (it.traverse()) {
    if (PolyDataNode* p = it.getNode().tryCast<PolyDataNode>()) {
      append->AddInputData(p->getPolyData());
      ++inputs;
    } else if (ImageDataNode* i = it.getNode().tryCast<ImageDataNode>()) {
      append->AddInputData(surfaceOf(i->getImageData()));
      ++inputs;
    }
  }
  if (inputs == 0) return nullptr;
  append->Update();
  return append->GetOutput();
}

// ---- colouring ----

vtkSmartPointer<vtkLookupTable> makeLookupTable(const std::string& name) { return DrawablePropFactory::makeColorMap(name); }

// Sets up scalar colouring by the base attributes' colour array; true when the mapper
// colours by data.
bool configureColoring(vtkPolyDataMapper* mapper, vtkPolyData* data, const Drawable& drawable) {
  mapper->ScalarVisibilityOff();
  BaseAttributes* base = drawable.hasBaseAttributes();
  if (!base || base->getColorArray().empty() || !data) return false;
  const std::string& name = base->getColorArray();
  vtkDataArray* array = data->GetPointData()->GetArray(name.c_str());
  bool points = array != nullptr;
  if (!array) array = data->GetCellData()->GetArray(name.c_str());
  if (!array) return false;
  auto lut = makeLookupTable(base->getColorMap());
  int component = -1;
  if (array->GetNumberOfComponents() > 1) {
    lut->SetVectorModeToMagnitude();
  } else {
    component = 0;
  }
  double range[2];
  if (base->hasScalarRange()) {
    base->getScalarRange(range);
  } else {
    array->GetRange(range, component);
  }
  if (!(range[1] > range[0])) range[1] = range[0] + 1.0;
  mapper->SetLookupTable(lut);
  mapper->SetScalarModeToDefault();
  if (points)
    mapper->SetScalarModeToUsePointFieldData();
  else
    mapper->SetScalarModeToUseCellFieldData();
  mapper->SelectColorArray(name.c_str());
  mapper->SetColorModeToMapScalars();
  mapper->SetScalarRange(range);
  mapper->UseLookupTableScalarRangeOff();
  mapper->ScalarVisibilityOn();
  return true;
}

// The prop of a drawable showing the poly data; the pipeline before it has already run.
vtkSmartPointer<vtkProp> makeProp(Drawable& drawable, vtkPolyData* data, vtkPlaneCollection* clipping,
                                  bool directColors = false) {
  if (!data) return nullptr;
  auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
  mapper->SetInputData(data);
  if (clipping) mapper->SetClippingPlanes(clipping);
  bool scalars;
  if (directColors) {
    mapper->SetColorModeToDirectScalars();
    mapper->SetScalarModeToUseCellData();
    mapper->ScalarVisibilityOn();
    scalars = true;
  } else {
    scalars = configureColoring(mapper, data, drawable);
  }
  mapper->Update();
  auto prop = vtkSmartPointer<DrawableProp>::New();
  prop->SetMapper(mapper);
  prop->SetDrawableName(drawable.getName());
  prop->SetDrawableKey(drawable.getKey());
  prop->SetDrawableClassName(drawable.getNodeClassName());
  prop->SetScalarColoring(scalars);
  DrawablePropFactory::applyAttributes(*prop, drawable);
  return prop;
}

// ---- geometry helpers ----

class LineBuilder {
 public:
  LineBuilder() : _points(vtkSmartPointer<vtkPoints>::New()), _lines(vtkSmartPointer<vtkCellArray>::New()) {
    _colors = vtkSmartPointer<vtkUnsignedCharArray>::New();
    _colors->SetNumberOfComponents(3);
    _colors->SetName("LineColors");
  }
  void line(const Vec3& a, const Vec3& b, const Vec3& rgb) {
    vtkIdType ids[2] = {_points->InsertNextPoint(a.data()), _points->InsertNextPoint(b.data())};
    _lines->InsertNextCell(2, ids);
    _colors->InsertNextTuple3(rgb[0] * 255.0, rgb[1] * 255.0, rgb[2] * 255.0);
  }
  vtkSmartPointer<vtkPolyData> build(bool withColors) {
    auto pd = vtkSmartPointer<vtkPolyData>::New();
    pd->SetPoints(_points);
    pd->SetLines(_lines);
    if (withColors) pd->GetCellData()->SetScalars(_colors);
    return pd;
  }

 private:
  vtkSmartPointer<vtkPoints> _points;
  vtkSmartPointer<vtkCellArray> _lines;
  vtkSmartPointer<vtkUnsignedCharArray> _colors;
};

Vec3 add(const Vec3& a, const Vec3& b, double s = 1.0) { return {a[0] + s * b[0], a[1] + s * b[1], a[2] + s * b[2]}; }

Vec3 baseColor(const Drawable& d) {
  BaseAttributes* b = d.hasBaseAttributes();
  return b ? b->getColor() : Vec3{0.8, 0.8, 0.8};
}

// Two unit vectors spanning the plane with this normal.
void planeBasis(const Vec3& normal, Vec3& u, Vec3& v) {
  double n[3] = {normal[0], normal[1], normal[2]};
  if (vtkMath::Normalize(n) == 0.0) n[2] = 1.0;
  double a[3], b[3];
  vtkMath::Perpendiculars(n, a, b, 0.0);
  u = {a[0], a[1], a[2]};
  v = {b[0], b[1], b[2]};
}

// ---- builders ----

vtkSmartPointer<vtkProp> buildSurface(Drawable& d, const DrawablePropContext& c) {
  return makeProp(d, gatherPolyData(d.getDataNode()), c.clippingPlanes);
}

vtkSmartPointer<vtkProp> buildVectorSurface(Drawable& d, const DrawablePropContext& c) {
  vtkSmartPointer<vtkPolyData> surface = gatherPolyData(d.getDataNode());
  if (!surface) return nullptr;
  auto* vs = dynamic_cast<VectorSurfaceDrawable*>(&d);
  GlyphAttributes* glyphs = vs ? vs->hasGlyphAttributes() : nullptr;
  std::string vectors = glyphs ? glyphs->getVectorArray() : std::string();
  vtkDataArray* va = vectors.empty() ? surface->GetPointData()->GetVectors()
                                     : surface->GetPointData()->GetArray(vectors.c_str());
  if (!va || va->GetNumberOfComponents() != 3) return makeProp(d, surface, c.clippingPlanes);
  vtkSmartPointer<vtkPolyData> seeds = surface;
  if (glyphs && glyphs->getSpacingMode() == GlyphAttributes::Spaced) {
    auto mask = vtkSmartPointer<vtkMaskPoints>::New();
    mask->SetInputData(surface);
    mask->SetOnRatio(glyphs->getSpacing());
    mask->SetMaximumNumberOfPoints(surface->GetNumberOfPoints());
    mask->Update();
    seeds = mask->GetOutput();
  }
  auto arrow = vtkSmartPointer<vtkArrowSource>::New();
  auto glyph = vtkSmartPointer<vtkGlyph3D>::New();
  glyph->SetInputData(seeds);
  glyph->SetSourceConnection(arrow->GetOutputPort());
  glyph->SetInputArrayToProcess(1, 0, 0, vtkDataObject::FIELD_ASSOCIATION_POINTS, va->GetName());
  glyph->SetVectorModeToUseVector();
  glyph->SetScaleModeToScaleByVector();
  glyph->SetScaleFactor(glyphs ? glyphs->getScaleFactor() : 0.1);
  glyph->OrientOn();
  auto append = vtkSmartPointer<vtkAppendPolyData>::New();
  append->AddInputData(surface);
  append->AddInputConnection(glyph->GetOutputPort());
  append->Update();
  return makeProp(d, append->GetOutput(), c.clippingPlanes);
}

vtkSmartPointer<vtkPolyData> radiiFromRange(vtkPolyData* points, vtkDataArray* radii, const double params[4]) {
  // Data range [params0, params1] onto radii [params2, params3], one component per point.
  auto mapped = vtkSmartPointer<vtkDoubleArray>::New();
  mapped->SetName("MappedRadius");
  vtkIdType n = radii->GetNumberOfTuples();
  mapped->SetNumberOfTuples(n);
  double span = params[1] - params[0];
  for (vtkIdType i = 0; i < n; ++i) {
    double s = radii->GetComponent(i, 0);
    double t = span > 0 ? std::min(1.0, std::max(0.0, (s - params[0]) / span)) : 0.0;
    mapped->SetValue(i, params[2] + t * (params[3] - params[2]));
  }
  auto copy = vtkSmartPointer<vtkPolyData>::New();
  copy->ShallowCopy(points);
  copy->GetPointData()->AddArray(mapped);
  return copy;
}

vtkSmartPointer<vtkProp> buildPointSpheres(Drawable& d, const DrawablePropContext& c) {
  vtkSmartPointer<vtkPolyData> points = gatherPolyData(d.getDataNode());
  if (!points || points->GetNumberOfPoints() == 0) return nullptr;
  auto* ps = dynamic_cast<PointSphereDrawable*>(&d);
  PointSphereAttributes* a = ps ? ps->getPointSphereAttributes() : nullptr;
  if (a && a->getPointStyle() == PointSphereAttributes::FlatPoints) {
    auto verts = vtkSmartPointer<vtkVertexGlyphFilter>::New();
    verts->SetInputData(points);
    verts->Update();
    return makeProp(d, verts->GetOutput(), c.clippingPlanes);
  }
  auto sphere = vtkSmartPointer<vtkSphereSource>::New();
  sphere->SetRadius(1.0);
  sphere->SetThetaResolution(12);
  sphere->SetPhiResolution(8);
  auto glyph = vtkSmartPointer<vtkGlyph3D>::New();
  glyph->SetSourceConnection(sphere->GetOutputPort());
  glyph->OrientOff();
  glyph->SetInputData(points);
  glyph->SetScaleModeToDataScalingOff();
  glyph->SetScaleFactor(a ? a->getRadius() : 0.01);
  vtkDataArray* radii = nullptr;
  if (a && a->getPointRadiusOption() == PointSphereAttributes::RadiusFromDataArray && !a->getRadiusDataArray().empty())
    radii = points->GetPointData()->GetArray(a->getRadiusDataArray().c_str());
  if (radii) {
    double params[4];
    a->getRadiusRangeParams(params);
    glyph->SetScaleFactor(1.0);
    glyph->ClampingOff();
    if (params[2] >= 0.0 && params[3] >= 0.0 && params[1] > params[0]) {
      glyph->SetInputData(radiiFromRange(points, radii, params));
      glyph->SetInputArrayToProcess(0, 0, 0, vtkDataObject::FIELD_ASSOCIATION_POINTS, "MappedRadius");
      glyph->SetScaleModeToScaleByScalar();
    } else if (radii->GetNumberOfComponents() == 3) {
      glyph->SetInputArrayToProcess(1, 0, 0, vtkDataObject::FIELD_ASSOCIATION_POINTS, radii->GetName());
      glyph->SetScaleModeToScaleByVectorComponents();
    } else {
      glyph->SetInputArrayToProcess(0, 0, 0, vtkDataObject::FIELD_ASSOCIATION_POINTS, radii->GetName());
      glyph->SetScaleModeToScaleByScalar();
    }
  }
  glyph->Update();
  return makeProp(d, glyph->GetOutput(), c.clippingPlanes);
}

vtkSmartPointer<vtkProp> buildPolyLine(Drawable& d, const DrawablePropContext& c) {
  auto* pl = dynamic_cast<PolyLineDrawable*>(&d);
  if (!pl || pl->getPoints().size() < 6) return nullptr;
  const std::vector<double>& xyz = pl->getPoints();
  auto points = vtkSmartPointer<vtkPoints>::New();
  vtkIdType n = static_cast<vtkIdType>(xyz.size() / 3);
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  cells->InsertNextCell(n);
  for (vtkIdType i = 0; i < n; ++i) cells->InsertCellPoint(points->InsertNextPoint(&xyz[size_t(i) * 3]));
  auto pd = vtkSmartPointer<vtkPolyData>::New();
  pd->SetPoints(points);
  pd->SetLines(cells);
  return makeProp(d, pd, c.clippingPlanes);
}

vtkSmartPointer<vtkProp> buildSphere(Drawable& d, const DrawablePropContext& c) {
  auto* s = dynamic_cast<SphereDrawable*>(&d);
  if (!s) return nullptr;
  auto src = vtkSmartPointer<vtkSphereSource>::New();
  src->SetCenter(s->getCenter().data());
  src->SetRadius(s->getRadius());
  src->SetThetaResolution(24);
  src->SetPhiResolution(16);
  src->Update();
  return makeProp(d, src->GetOutput(), c.clippingPlanes);
}

vtkSmartPointer<vtkProp> buildTriad(Drawable& d, const DrawablePropContext&) {
  LineBuilder lines;
  lines.line({0, 0, 0}, {1, 0, 0}, {1.0, 0.2, 0.2});
  lines.line({0, 0, 0}, {0, 1, 0}, {0.2, 1.0, 0.2});
  lines.line({0, 0, 0}, {0, 0, 1}, {0.3, 0.4, 1.0});
  // The orientation triad is never clipped.
  return makeProp(d, lines.build(true), nullptr, true);
}

vtkSmartPointer<vtkProp> buildGrid(Drawable& d, const DrawablePropContext& c) {
  auto* g = dynamic_cast<GridDrawable*>(&d);
  if (!g) return nullptr;
  LineBuilder lines;
  const Vec3 color = baseColor(d);
  const Vec3 &o = g->getOrigin(), &a1 = g->getAxis1(), &a2 = g->getAxis2();
  const int n1 = g->getDivisions()[0], n2 = g->getDivisions()[1];
  for (int i = 0; i <= n1; ++i) {
    Vec3 p = add(o, a1, double(i) / n1);
    lines.line(p, add(p, a2), color);
  }
  for (int j = 0; j <= n2; ++j) {
    Vec3 p = add(o, a2, double(j) / n2);
    lines.line(p, add(p, a1), color);
  }
  if (g->getShowAxis()) {
    lines.line(o, add(o, a1, 1.1), {1.0, 0.2, 0.2});
    lines.line(o, add(o, a2, 1.1), {0.2, 1.0, 0.2});
  }
  return makeProp(d, lines.build(true), c.clippingPlanes, true);
}

vtkSmartPointer<vtkProp> buildSceneGrid(Drawable& d, const DrawablePropContext& c) {
  auto* g = dynamic_cast<SceneGridDrawable*>(&d);
  if (!g) return nullptr;
  LineBuilder lines;
  const Vec3 color = baseColor(d);
  const double half = g->getSize() / 2;
  const int n = g->getDivisions();
  const Vec3& m = g->getCenter();
  for (int i = 0; i <= n; ++i) {
    double t = -half + g->getSize() * i / n;
    lines.line({m[0] + t, m[1], m[2] - half}, {m[0] + t, m[1], m[2] + half}, color);
    lines.line({m[0] - half, m[1], m[2] + t}, {m[0] + half, m[1], m[2] + t}, color);
  }
  return makeProp(d, lines.build(false), c.clippingPlanes);
}

vtkSmartPointer<vtkProp> buildLabel(Drawable& d, const DrawablePropContext& c) {
  auto* l = dynamic_cast<LabelDrawable*>(&d);
  if (!l || l->getText().empty()) return nullptr;
  auto transform = vtkSmartPointer<vtkTransform>::New();
  transform->Translate(l->getPosition().data());
  transform->Scale(l->getHeight(), l->getHeight(), l->getHeight());
  auto place = vtkSmartPointer<vtkTransformPolyDataFilter>::New();
  // The default font of the font manager when there is one, else VTK's stroke font.
  if (vtkSmartPointer<vtkPolyData> glyphs = FreeTypeFontManager::getSingleton().textOutline(l->getText())) {
    place->SetInputData(glyphs);
  } else {
    auto text = vtkSmartPointer<vtkVectorText>::New();
    text->SetText(l->getText().c_str());
    place->SetInputConnection(text->GetOutputPort());
  }
  place->SetTransform(transform);
  place->Update();
  return makeProp(d, place->GetOutput(), c.clippingPlanes);
}

// The sphere of a point part about the origin, one per radius: a scene of thousands of parts
// would otherwise hold thousands of equal spheres, each with its own graphics buffers (whose
// release alone takes the renderer quadratic time). Scene builders of either buffer call it;
// the lock guards the map, the spheres are never changed once built.
vtkPolyData* sharedPartSphere(double radius) {
  static std::mutex mutex;
  static std::map<double, vtkSmartPointer<vtkPolyData>> spheres;
  std::lock_guard<std::mutex> lock(mutex);
  vtkSmartPointer<vtkPolyData>& sphere = spheres[radius];
  if (!sphere) {
    auto src = vtkSmartPointer<vtkSphereSource>::New();
    src->SetRadius(radius);
    src->SetThetaResolution(16);
    src->SetPhiResolution(12);
    src->Update();
    sphere = src->GetOutput();
  }
  return sphere;
}

vtkSmartPointer<vtkProp> buildPart(Drawable& d, const DrawablePropContext& c) {
  auto* part = dynamic_cast<PartDrawable*>(&d);
  if (!part) return nullptr;
  const Vec3 color = baseColor(d);
  switch (part->getPartType()) {
    case PartDrawable::PointPart: {
      // A shallow copy of the shared sphere, placed by the prop: the parts share its arrays and
      // with them the graphics buffers.
      auto sphere = vtkSmartPointer<vtkPolyData>::New();
      sphere->ShallowCopy(sharedPartSphere(part->getSize() / 2));
      vtkSmartPointer<vtkProp> prop = makeProp(d, sphere, c.clippingPlanes);
      const Vec3& at = part->getP0();
      if (auto* placed = vtkProp3D::SafeDownCast(prop)) placed->AddPosition(at[0], at[1], at[2]);
      return prop;
    }
    case PartDrawable::LinePart: {
      LineBuilder lines;
      lines.line(part->getP0(), part->getP1(), color);
      return makeProp(d, lines.build(false), c.clippingPlanes);
    }
    case PartDrawable::PlaneSection: {
      Vec3 u, v;
      planeBasis(part->getP1(), u, v);
      auto append = vtkSmartPointer<vtkAppendPolyData>::New();
      int inputs = 0;
      if (ImageDataNode* volume = part->getImageDataNode()) {
        auto plane = vtkSmartPointer<vtkPlane>::New();
        plane->SetOrigin(part->getP0().data());
        plane->SetNormal(part->getP1().data());
        auto cutter = vtkSmartPointer<vtkCutter>::New();
        cutter->SetInputData(volume->getImageData());
        cutter->SetCutFunction(plane);
        cutter->Update();
        append->AddInputData(cutter->GetOutput());
        ++inputs;
      }
      BoundedPlaneAxisAttribute* axis = part->hasBoundedPlaneAxisAttribute();
      const double h = part->getSize() / 2;
      const Vec3& o = part->getP0();
      if (inputs == 0) {
        // Without a volume the section is a square frame.
        LineBuilder frame;
        Vec3 corners[4] = {add(add(o, u, -h), v, -h), add(add(o, u, h), v, -h), add(add(o, u, h), v, h),
                           add(add(o, u, -h), v, h)};
        for (int k = 0; k < 4; ++k) frame.line(corners[k], corners[(k + 1) % 4], color);
        append->AddInputData(frame.build(false));
        ++inputs;
      }
      if (axis && axis->getShowAxis()) {
        LineBuilder axes;
        axes.line(add(o, u, -h), add(o, u, h), color);
        axes.line(add(o, v, -h), add(o, v, h), color);
        append->AddInputData(axes.build(false));
      }
      append->Update();
      return makeProp(d, append->GetOutput(), c.clippingPlanes);
    }
    case PartDrawable::PlaneProbePart: {
      const Vec3 &p1 = part->getP0(), &p2 = part->getP1(), &o = part->getP2();
      Vec3 far = add(add(p1, p2), o, -1.0);
      LineBuilder frame;
      frame.line(o, p1, color);
      frame.line(p1, far, color);
      frame.line(far, p2, color);
      frame.line(p2, o, color);
      return makeProp(d, frame.build(false), c.clippingPlanes);
    }
    default:
      return nullptr;
  }
}

struct BuilderTable {
  std::mutex mutex;
  std::map<std::string, DrawablePropFactory::Builder> builders;
  BuilderTable() {
    builders[SurfaceDrawable::getClassName()] = buildSurface;
    builders[LICDrawable::getClassName()] = buildSurface;
    builders[VectorSurfaceDrawable::getClassName()] = buildVectorSurface;
    builders[PointSphereDrawable::getClassName()] = buildPointSpheres;
    builders[PolyLineDrawable::getClassName()] = buildPolyLine;
    builders[SphereDrawable::getClassName()] = buildSphere;
    builders[TriadDrawable::getClassName()] = buildTriad;
    builders[GridDrawable::getClassName()] = buildGrid;
    builders[SceneGridDrawable::getClassName()] = buildSceneGrid;
    builders[LabelDrawable::getClassName()] = buildLabel;
    builders[PartDrawable::getClassName()] = buildPart;
  }
};

BuilderTable& table() {
  static BuilderTable t;
  return t;
}

}  // namespace

vtkSmartPointer<vtkLookupTable> DrawablePropFactory::makeColorMap(const std::string& name) {
  auto lut = vtkSmartPointer<vtkLookupTable>::New();
  const int n = 256;
  lut->SetNumberOfTableValues(n);
  for (int i = 0; i < n; ++i) {
    double t = double(i) / (n - 1);
    double rgb[3];
    if (name == "grey" || name == "gray") {
      rgb[0] = rgb[1] = rgb[2] = t;
    } else if (name == "coolwarm") {
      const double cold[3] = {0.230, 0.299, 0.754}, mid[3] = {0.865, 0.865, 0.865}, warm[3] = {0.706, 0.016, 0.150};
      for (int k = 0; k < 3; ++k)
        rgb[k] = t < 0.5 ? cold[k] + (mid[k] - cold[k]) * 2 * t : mid[k] + (warm[k] - mid[k]) * (2 * t - 1);
    } else {  // rainbow: blue through cyan, green, yellow to red
      double h = (1.0 - t) * 2.0 / 3.0;
      double hsv[3] = {h, 1.0, 1.0};
      vtkMath::HSVToRGB(hsv, rgb);
    }
    lut->SetTableValue(i, rgb[0], rgb[1], rgb[2], 1.0);
  }
  lut->Build();
  return lut;
}

void DrawablePropFactory::setBuilder(const std::string& drawableClassName, Builder builder) {
  BuilderTable& t = table();
  std::lock_guard<std::mutex> guard(t.mutex);
  if (builder)
    t.builders[drawableClassName] = std::move(builder);
  else
    t.builders.erase(drawableClassName);
}

DrawablePropFactory::Builder DrawablePropFactory::getBuilder(const std::string& drawableClassName) {
  BuilderTable& t = table();
  std::lock_guard<std::mutex> guard(t.mutex);
  auto it = t.builders.find(drawableClassName);
  return it == t.builders.end() ? Builder() : it->second;
}

vtkSmartPointer<vtkProp> DrawablePropFactory::build(Drawable& drawable, const DrawablePropContext& context) {
  Builder builder = getBuilder(drawable.getNodeClassName());
  return builder ? builder(drawable, context) : nullptr;
}

void DrawablePropFactory::applyAttributes(DrawableProp& prop, const Drawable& drawable) {
  BaseAttributes* base = drawable.hasBaseAttributes();
  const bool highlight = base && base->getHighlightEnabled();
  prop.SetVisibility(!base || base->getVisibility());
  vtkProperty* p = prop.GetProperty();
  const Vec3 color = highlight ? highlightColor : baseColor(drawable);
  p->SetColor(color[0], color[1], color[2]);
  p->SetOpacity(base ? base->getOpacity() : 1.0);
  const auto* part = dynamic_cast<const PartDrawable*>(&drawable);
  if (part && part->getPartType() == PartDrawable::PlaneSection) {
    // A plane section is a slice of data: its colours are the colour map's, not shading. Lit by
    // the head light it went black whenever it was seen at a slant (its normal across the view).
    p->LightingOff();
    p->SetAmbient(1.0);
    p->SetDiffuse(0.0);
    p->SetSpecular(0.0);
  } else {
    // Some ambient light, so faces turned away from the head light keep their colour.
    p->LightingOn();
    p->SetAmbient(0.2);
    p->SetDiffuse(0.85);
  }
  if (vtkMapper* m = prop.GetMapper()) m->SetScalarVisibility(prop.GetScalarColoring() && !highlight);
  LineAttributes* line = drawable.hasLineAttributes();
  const double width = line ? line->getLineWidth() : 1.0;
  p->SetLineWidth(static_cast<float>(width));
  p->SetPointSize(static_cast<float>(std::max(2.0, 2.0 * width)));
  const bool advanced = base && base->getAdvancedRenderingEnabled();
  p->SetRenderLinesAsTubes(advanced);
  p->SetRenderPointsAsSpheres(advanced);
}

}  // namespace kvg
