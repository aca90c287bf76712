#include "SampleScene.h"

#include <cmath>
#include <cstdio>

#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkImageData.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkRungeKutta4.h>
#include <vtkSmartPointer.h>
#include <vtkStreamTracer.h>

#include "SceneWriter.h"

namespace scenegen {

namespace {

const double pi = 3.14159265358979323846;

double smoothstep(double a, double b, double x) {
  double t = std::min(1.0, std::max(0.0, (x - a) / (b - a)));
  return t * t * (3 - 2 * t);
}

// A cylinder of radius R and height H stands on the ground (y = 0) at the origin, its axis
// along y; air comes along +x at U. Outside the boundary layer the flow is the potential
// flow past the cylinder, weakening above its top; behind it a wake with an alternating
// (von Karman) cross-flow travels downstream. Pressure follows Bernoulli on the potential
// flow, as the boundary layer takes its pressure from the flow outside it; the separated wake
// adds its suction (base pressure coefficient about -0.9), strongest in the passing vortices.
struct Flow {
  double U = 10.0, R = 0.3, H = 1.2, rho = 1.2;
  bool wake = true;
  double time = 0.0;

  bool inside(double x, double y, double z) const { return y < H && x * x + z * z < R * R; }

  void potential(double x, double y, double z, double v[3]) const {
    const double r2 = std::max(x * x + z * z, R * R);
    const double r4 = r2 * r2;
    // The cylinder's influence fades above its top.
    const double g = 1.0 - 0.7 * smoothstep(H - 0.1, H + 0.35, y);
    v[0] = U * (1.0 - g * R * R * (x * x - z * z) / r4);
    v[1] = 0.0;
    v[2] = -U * g * 2.0 * R * R * x * z / r4;
  }

  // Strength of the wake at a point (0 outside it) and the phase of the vortex street there.
  double wakeEnvelope(double x, double y, double z, double& phase) const {
    const double width = 0.35 + 0.12 * std::max(0.0, x);
    const double across = std::exp(-(z * z) / (width * width));
    const double start = smoothstep(0.5 * R, 2.5 * R, x);
    const double height = 1.0 - smoothstep(H - 0.05, H + 0.3, y);
    const double decay = std::exp(-std::max(0.0, x) / 7.0);
    // Strouhal number 0.2: period D / (0.2 U); the street moves at 0.8 U.
    const double frequency = 0.2 * U / (2 * R);
    const double k = 2 * pi * frequency / (0.8 * U);
    phase = k * x - 2 * pi * frequency * time;
    return wake ? across * start * height * decay : 0.0;
  }

  void outer(double x, double y, double z, double v[3]) const {
    potential(x, y, z, v);
    double phase;
    const double envelope = wakeEnvelope(x, y, z, phase);
    if (envelope == 0.0) return;
    const double width = 0.35 + 0.12 * std::max(0.0, x);
    v[0] -= U * 0.45 * envelope * (1.0 + 0.25 * std::cos(2 * phase));
    v[2] += U * 0.35 * envelope * std::sin(phase);
    v[1] += U * 0.05 * envelope * std::cos(phase) * (z / width);
  }

  double boundaryLayer(double y) const { return 1.0 - std::exp(-y / 0.12); }

  void velocity(double x, double y, double z, double v[3]) const {
    if (inside(x, y, z)) {
      v[0] = v[1] = v[2] = 0.0;
      return;
    }
    outer(x, y, z, v);
    const double f = boundaryLayer(y);
    for (int i = 0; i < 3; ++i) v[i] *= f;
  }

  double pressure(double x, double y, double z) const {
    const double dynamic = 0.5 * rho * U * U;
    if (inside(x, y, z)) return dynamic;
    double v[3], phase;
    potential(x, y, z, v);
    const double suction = wakeEnvelope(x, y, z, phase) * (0.7 + 0.3 * std::cos(2 * phase));
    return dynamic * (1.0 - (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) / (U * U) - 0.9 * suction);
  }
};

vtkSmartPointer<vtkFloatArray> floatArray(const char* name, int components) {
  auto a = vtkSmartPointer<vtkFloatArray>::New();
  a->SetName(name);
  a->SetNumberOfComponents(components);
  return a;
}

vtkSmartPointer<vtkImageData> volume(const Flow& flow) {
  const int nx = 48, ny = 20, nz = 32;
  const double x0 = -1.5, x1 = 4.5, y1 = 1.6, z0 = -1.5, z1 = 1.5;
  auto image = vtkSmartPointer<vtkImageData>::New();
  image->SetDimensions(nx, ny, nz);
  image->SetOrigin(x0, 0.0, z0);
  image->SetSpacing((x1 - x0) / (nx - 1), y1 / (ny - 1), (z1 - z0) / (nz - 1));
  auto p = floatArray("pressure", 1);
  auto v = floatArray("velocity", 3);
  p->SetNumberOfTuples(image->GetNumberOfPoints());
  v->SetNumberOfTuples(image->GetNumberOfPoints());
  for (vtkIdType id = 0; id < image->GetNumberOfPoints(); ++id) {
    double x[3], u[3];
    image->GetPoint(id, x);
    flow.velocity(x[0], x[1], x[2], u);
    p->SetValue(id, float(flow.pressure(x[0], x[1], x[2])));
    v->SetTuple(id, u);
  }
  image->GetPointData()->AddArray(p);
  image->GetPointData()->AddArray(v);
  image->GetPointData()->SetActiveScalars("pressure");
  image->GetPointData()->SetActiveVectors("velocity");
  return image;
}

// A surface with point normals and the pressure at its points.
class PressureSurface {
 public:
  PressureSurface()
      : _points(vtkSmartPointer<vtkPoints>::New()),
        _normals(floatArray("Normals", 3)),
        _pressure(floatArray("pressure", 1)),
        _polys(vtkSmartPointer<vtkCellArray>::New()) {}
  vtkIdType point(double x, double y, double z, const double normal[3], double pressure) {
    _normals->InsertNextTuple(normal);
    _pressure->InsertNextValue(float(pressure));
    return _points->InsertNextPoint(x, y, z);
  }
  vtkIdType size() const { return _points->GetNumberOfPoints(); }
  void cell(std::initializer_list<vtkIdType> ids) { _polys->InsertNextCell(ids); }
  vtkSmartPointer<vtkPolyData> build() const {
    auto pd = vtkSmartPointer<vtkPolyData>::New();
    pd->SetPoints(_points);
    pd->SetPolys(_polys);
    pd->GetPointData()->SetNormals(_normals);
    pd->GetPointData()->AddArray(_pressure);
    return pd;
  }

 private:
  vtkSmartPointer<vtkPoints> _points;
  vtkSmartPointer<vtkFloatArray> _normals, _pressure;
  vtkSmartPointer<vtkCellArray> _polys;
};

// The cylinder's wall and top, coloured by the pressure just outside them.
vtkSmartPointer<vtkPolyData> cylinder(const Flow& flow) {
  const int around = 64, up = 16;
  const double upward[3] = {0.0, 1.0, 0.0};
  PressureSurface s;
  for (int j = 0; j <= up; ++j)
    for (int i = 0; i < around; ++i) {
      const double a = 2 * pi * i / around, y = flow.H * j / up;
      const double c = std::cos(a), sn = std::sin(a), outward[3] = {c, 0.0, sn};
      s.point(flow.R * c, y, flow.R * sn, outward,
              flow.pressure(1.001 * flow.R * c, std::max(y, 0.01), 1.001 * flow.R * sn));
    }
  // Counter-clockwise seen from outside, so the faces front the outward normals.
  for (int j = 0; j < up; ++j)
    for (int i = 0; i < around; ++i)
      s.cell({j * around + i, (j + 1) * around + i, (j + 1) * around + (i + 1) % around, j * around + (i + 1) % around});
  // The top: a fan around its centre.
  const vtkIdType centre = s.point(0.0, flow.H, 0.0, upward, flow.pressure(0.0, flow.H + 0.01, 0.0));
  const vtkIdType rim = s.size();
  for (int i = 0; i < around; ++i) {
    const double x = flow.R * std::cos(2 * pi * i / around), z = flow.R * std::sin(2 * pi * i / around);
    s.point(x, flow.H, z, upward, flow.pressure(x, flow.H + 0.01, z));
  }
  for (int i = 0; i < around; ++i) s.cell({centre, rim + (i + 1) % around, rim + i});
  return s.build();
}

// The ground plate around the cylinder, coloured by the surface pressure.
vtkSmartPointer<vtkPolyData> ground(const Flow& flow) {
  const int nx = 96, nz = 48;
  const double x0 = -1.5, x1 = 4.5, z0 = -1.5, z1 = 1.5, upward[3] = {0.0, 1.0, 0.0};
  PressureSurface s;
  for (int k = 0; k <= nz; ++k)
    for (int i = 0; i <= nx; ++i) {
      const double x = x0 + (x1 - x0) * i / nx, z = z0 + (z1 - z0) * k / nz;
      s.point(x, 0.0, z, upward, flow.pressure(x, 0.01, z));
    }
  for (int k = 0; k < nz; ++k)
    for (int i = 0; i < nx; ++i) {
      const vtkIdType a = k * (nx + 1) + i;
      s.cell({a, a + nx + 1, a + nx + 2, a + 1});
    }
  return s.build();
}

// Streamlines from a rake of seeds upstream, traced through the volume.
vtkSmartPointer<vtkPolyData> streamlines(vtkImageData* field) {
  auto seeds = vtkSmartPointer<vtkPolyData>::New();
  auto seedPoints = vtkSmartPointer<vtkPoints>::New();
  for (double y : {0.3, 0.8, 1.35})
    for (int k = 0; k <= 8; ++k) seedPoints->InsertNextPoint(-1.4, y, -1.2 + 0.3 * k);
  seeds->SetPoints(seedPoints);
  auto tracer = vtkSmartPointer<vtkStreamTracer>::New();
  tracer->SetInputData(field);
  tracer->SetSourceData(seeds);
  tracer->SetInputArrayToProcess(0, 0, 0, vtkDataObject::FIELD_ASSOCIATION_POINTS, "velocity");
  tracer->SetIntegrator(vtkSmartPointer<vtkRungeKutta4>::New());
  tracer->SetIntegrationDirectionToForward();
  tracer->SetMaximumPropagation(9.0);
  tracer->SetInitialIntegrationStep(0.2);
  tracer->SetIntegrationStepUnit(vtkStreamTracer::CELL_LENGTH_UNIT);
  tracer->SetTerminalSpeed(0.05);
  tracer->Update();
  vtkPolyData* traced = tracer->GetOutput();
  // Keep the lines and the speed along them.
  auto speed = floatArray("speed", 1);
  vtkDataArray* velocity = traced->GetPointData()->GetArray("velocity");
  for (vtkIdType i = 0; i < traced->GetNumberOfPoints(); ++i) {
    double u[3] = {0, 0, 0};
    if (velocity) velocity->GetTuple(i, u);
    speed->InsertNextValue(float(std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2])));
  }
  auto pd = vtkSmartPointer<vtkPolyData>::New();
  pd->SetPoints(traced->GetPoints());
  pd->SetLines(traced->GetLines());
  pd->GetPointData()->AddArray(speed);
  return pd;
}

Properties baseColoredBy(const std::string& array, double low, double high, const std::string& map) {
  Properties base;
  base.set("colorBy", array);
  base.set("scalarRange", std::vector<double>{low, high});
  base.set("colorMap", map);
  return base;
}

Properties surface(const std::string& name, const std::string& file, const Properties& base) {
  Properties s = drawableBlock("Surface", name);
  s.set("data", file);
  s.set("base", base);
  return s;
}

Properties frameDrawables(const std::string& prefix) {
  // Symmetric about zero, so undisturbed air shows neutral.
  const Properties byPressure = baseColoredBy("pressure", -100.0, 100.0, "coolwarm");
  Properties drawables;
  drawables.set("cylinder", surface("Cylinder Boundary", prefix + "cylinder.vtp", byPressure));
  drawables.set("ground", surface("Ground Boundary", prefix + "ground.vtp", byPressure));
  Properties lines = surface("Streamlines", prefix + "streamlines.vtp", baseColoredBy("speed", 0.0, 14.0, "rainbow"));
  lines.set("line", single("width", 2.0));
  drawables.set("streamlines", lines);

  Properties flow = drawableBlock("Volume", "Flow field");
  flow.set("data", prefix + "flow.vti");
  flow.set("scalars", "pressure");
  flow.set("vectors", "velocity");
  Properties rendering;
  rendering.set("mode", "direct");
  rendering.set("opacity", 0.25);
  rendering.set("colorMap", "coolwarm");
  flow.set("volumeRendering", rendering);
  Properties iso;
  iso.set("field", "pressure");
  iso.set("values", std::vector<double>{-60.0, 30.0});
  flow.set("isoSurface", iso);
  drawables.set("flow", flow);

  Properties section = drawableBlock("Part", "Wake cut");
  section.set("part", "plane section");
  section.set("origin", std::vector<double>{1.6, 0.6, 0.0});
  section.set("normal", std::vector<double>{1.0, 0.0, 0.0});
  section.set("size", 1.4);
  section.set("source", "flow");
  section.set("base", byPressure);
  drawables.set("wakeCut", section);

  Properties probe = drawableBlock("Part", "Probe A");
  probe.set("part", "point");
  probe.set("position", std::vector<double>{2.2, 0.6, 0.3});
  probe.set("size", 0.08);
  probe.set("base", single("color", std::vector<double>{1.0, 0.85, 0.2}));
  drawables.set("probe", probe);

  Properties label = drawableBlock("Label", "Inflow label");
  label.set("text", "U = 10 m/s");
  label.set("position", std::vector<double>{-0.2, 1.75, -1.0});
  label.set("height", 0.14);
  label.set("base", single("color", std::vector<double>{0.95, 0.95, 0.95}));
  drawables.set("inflowLabel", label);

  drawables.set("axes", drawableBlock("Triad", "Axes"));
  return drawables;
}

// Writes one frame's data files and returns its block.
Properties writeFrame(const std::string& folder, const std::string& prefix, const Flow& flow,
                      const std::string& description) {
  vtkSmartPointer<vtkImageData> field = volume(flow);
  writeImageData(folder + "/" + prefix + "flow.vti", field);
  writePolyData(folder + "/" + prefix + "cylinder.vtp", cylinder(flow));
  writePolyData(folder + "/" + prefix + "ground.vtp", ground(flow));
  writePolyData(folder + "/" + prefix + "streamlines.vtp", streamlines(field));
  Properties frame;
  frame.set("description", description);
  frame.set("time", flow.time);
  frame.set("drawables", frameDrawables(prefix));
  return frame;
}

}  // namespace

void writeSampleScene(const std::string& folder) {
  const std::string dataFolder = "sample_vr_data";
  makeFolder(folder + "/" + dataFolder);
  Properties doc = sceneDocument();
  Properties canvas;
  canvas.set("key", "SceneCanvas_1");
  canvas.set("title", "Flow around a cylinder");
  canvas.set("background", std::vector<double>{0.08, 0.09, 0.12});
  doc.set("canvas", canvas);
  Properties camera;
  camera.set("position", std::vector<double>{-2.6, 2.4, 4.2});
  camera.set("focalPoint", std::vector<double>{1.2, 0.5, 0.0});
  camera.set("viewUp", std::vector<double>{0.0, 1.0, 0.0});
  camera.set("viewAngle", 30.0);
  doc.set("camera", camera);

  Properties sets;
  Flow flow;
  Properties shedding, sheddingFrames;
  shedding.set("title", "Vortex shedding behind a cylinder");
  // A quarter of the shedding period apart: 0.3 s / 4.
  for (int i = 0; i < 4; ++i) {
    flow.time = 0.075 * i;
    char description[64];
    std::snprintf(description, sizeof description, "t = %.3f s", flow.time);
    const std::string prefix = dataFolder + "/shedding_t" + std::to_string(i) + "_";
    sheddingFrames.set("t" + std::to_string(i), writeFrame(folder, prefix, flow, description));
  }
  shedding.set("frames", sheddingFrames);
  sets.set("shedding", shedding);

  Properties steady, steadyFrames;
  steady.set("title", "Steady potential flow");
  flow.wake = false;
  flow.time = 0.0;
  steadyFrames.set("steady", writeFrame(folder, dataFolder + "/steady_", flow, "Inviscid flow, no wake"));
  steady.set("frames", steadyFrames);
  sets.set("steady", steady);
  doc.set("frameSets", sets);

  writeScene(folder + "/sample_vr.sce", doc,
             "Sample scene: air at 10 m/s flowing past a cylinder on a ground plate.\n"
             "Written by the scene generator; the format is described in docs/scene-format.md.");
}

}  // namespace scenegen
