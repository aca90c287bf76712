#include "HudMessage.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include <vtkAppendPolyData.h>
#include <vtkCellArray.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>
#include <vtkTransform.h>
#include <vtkTransformPolyDataFilter.h>
#include <vtkVectorText.h>

#include "FreezablePipeline.h"
#include "OpenVRActor.h"
#include "kvg/FreeTypeFontManager.h"
#include "kvg/PropLighting.h"

namespace {

constexpr size_t kLineLength = 40;   // characters
constexpr size_t kMaxLines = 4;
constexpr double kCapHeight = 0.0075;  // metres
constexpr double kLineSpacing = 1.7;   // cap heights
constexpr double kPadding = 0.8;       // cap heights
// Where the plate's centre sits in the head's frame: in front of the HUD band (0.3 m), below
// the middle of the view, beyond the camera's near plane (0.2 m).
constexpr double kDepth = 0.28;
constexpr double kBelow = 0.05;
const double kTextColor[3] = {1.0, 0.8, 0.2};
const double kPlateColor[3] = {0.08, 0.08, 0.1};

// One line as glyph outlines, baseline on the x axis, a capital letter 1 high.
vtkSmartPointer<vtkPolyData> glyphs(const std::string& line) {
  if (vtkSmartPointer<vtkPolyData> outline = kvg::FreeTypeFontManager::getSingleton().textOutline(line))
    return outline;
  vtkNew<vtkVectorText> text;
  text->SetText(line.c_str());
  text->Update();
  return text->GetOutput();
}

}  // namespace

HudMessage::HudMessage()
    : _plate(OpenVRActor::New()),
      _letters(OpenVRActor::New()),
      _plateMapper(vtkPolyDataMapper::New()),
      _lettersMapper(vtkPolyDataMapper::New()) {
  _plate->SetMapper(_plateMapper);
  _letters->SetMapper(_lettersMapper);
  for (OpenVRActor* actor : {_plate, _letters}) {
    kvg::SetPropLighting(actor, kvg::PropLighting::Unlit);
    actor->SetVisibility(0);
    vtkNew<vtkMatrix4x4> user;
    actor->SetUserMatrix(user);
  }
  _plate->GetProperty()->SetColor(kPlateColor[0], kPlateColor[1], kPlateColor[2]);
  _letters->GetProperty()->SetColor(kTextColor[0], kTextColor[1], kTextColor[2]);
}

HudMessage::~HudMessage() {
  _letters->Delete();
  _plate->Delete();
  _lettersMapper->Delete();
  _plateMapper->Delete();
}

// Back-buffer updater thread, at the scene's VR start-up.
void HudMessage::build(vtkRenderer* renderer) {
  if (!renderer) return;
  // The plate first: the letters lie on it.
  renderer->AddActor(_plate);
  renderer->AddActor(_letters);
}

std::string HudMessage::wrap(const std::string& text) {
  std::istringstream words(text);
  std::vector<std::string> lines(1);
  std::string word;
  bool cut = false;
  while (words >> word) {
    std::string& line = lines.back();
    if (line.empty() || line.size() + 1 + word.size() <= kLineLength) {
      line += (line.empty() ? "" : " ") + word;
      continue;
    }
    if (lines.size() == kMaxLines) {
      cut = true;
      break;
    }
    lines.push_back(word);
  }
  std::string out;
  for (std::string& line : lines) {
    if (line.size() > kLineLength) {
      line.resize(kLineLength - 3);
      line += "...";
    }
  }
  if (cut) {
    std::string& last = lines.back();
    if (last.size() + 3 > kLineLength) last.resize(kLineLength - 3);
    last += "...";
  }
  for (size_t i = 0; i < lines.size(); ++i) out += (i ? "\n" : "") + lines[i];
  return out;
}

// Render thread.
void HudMessage::show(const std::string& text) {
  _since = std::chrono::steady_clock::now();
  _frames = 0;
  _shown = !text.empty();
  if (text != _text) {
    _text = text;
    rebuild();
  }
}

// Render thread: the letters and the plate, in the plate's own frame: centred on its origin,
// facing +z.
void HudMessage::rebuild() {
  // The render thread's pipelines are frozen; these run once per message.
  RestoreThreadFlag unfrozen(false);
  std::vector<std::string> lines;
  std::istringstream in(wrap(_text));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  vtkNew<vtkAppendPolyData> append;
  double widest = 0.0;
  std::vector<vtkSmartPointer<vtkPolyData>> shapes;
  for (const std::string& line : lines) {
    shapes.push_back(glyphs(line));
    double bounds[6];
    shapes.back()->GetBounds(bounds);
    if (shapes.back()->GetNumberOfPoints() > 0) widest = std::max(widest, bounds[1]);
  }
  const double lineHeight = kCapHeight * kLineSpacing;
  _width = widest * kCapHeight + 2 * kPadding * kCapHeight;
  _height = (2 * kPadding + 1.0) * kCapHeight + double(lines.size() - 1) * lineHeight;
  for (size_t i = 0; i < shapes.size(); ++i) {
    if (shapes[i]->GetNumberOfPoints() == 0) continue;
    vtkNew<vtkTransform> place;
    // Lines downwards from the plate's top, left-aligned inside its padding; slightly in front
    // of the plate.
    place->Translate(-_width / 2 + kPadding * kCapHeight,
                     _height / 2 - kPadding * kCapHeight - kCapHeight - double(i) * lineHeight, 0.0005);
    place->Scale(kCapHeight, kCapHeight, kCapHeight);
    vtkNew<vtkTransformPolyDataFilter> filter;
    filter->SetInputData(shapes[i]);
    filter->SetTransform(place);
    append->AddInputConnection(filter->GetOutputPort());
  }
  vtkNew<vtkPolyData> letters;
  if (append->GetNumberOfInputConnections(0) > 0) {
    append->Update();
    letters->ShallowCopy(append->GetOutput());
  }
  _lettersMapper->SetInputData(letters);
  _lettersMapper->ScalarVisibilityOff();
  _lettersMapper->Update();

  vtkNew<vtkPoints> corners;
  const double w = _width / 2, h = _height / 2;
  corners->InsertNextPoint(-w, -h, 0.0);
  corners->InsertNextPoint(w, -h, 0.0);
  corners->InsertNextPoint(w, h, 0.0);
  corners->InsertNextPoint(-w, h, 0.0);
  vtkNew<vtkCellArray> quad;
  const vtkIdType ids[4] = {0, 1, 2, 3};
  quad->InsertNextCell(4, ids);
  vtkNew<vtkPolyData> plate;
  plate->SetPoints(corners);
  plate->SetPolys(quad);
  _plateMapper->SetInputData(plate);
  _plateMapper->ScalarVisibilityOff();
  _plateMapper->Update();
}

// Render thread, every frame.
void HudMessage::update(const double headPose[16]) {
  if (_shown) {
    ++_frames;
    const double up = std::chrono::duration<double>(std::chrono::steady_clock::now() - _since).count();
    if (_frames > SHOWN_FRAMES && up > SHOWN_SECONDS) _shown = false;
  }
  _plate->SetVisibility(_shown ? 1 : 0);
  _letters->SetVisibility(_shown ? 1 : 0);
  if (!_shown) return;
  const double place[16] = {1, 0, 0, 0, 0, 1, 0, -kBelow, 0, 0, 1, -kDepth, 0, 0, 0, 1};
  for (OpenVRActor* actor : {_plate, _letters}) {
    vtkMatrix4x4* user = actor->GetUserMatrix();
    vtkMatrix4x4::Multiply4x4(headPose, place, user->GetData());
    user->Modified();
  }
}

// Render thread, at the buffer swap.
void HudMessage::copyFrom(const HudMessage& other) {
  if (&other == this) return;
  if (other._text != _text) {
    _text = other._text;
    rebuild();
  }
  _shown = other._shown;
  _since = other._since;
  _frames = other._frames;
  _plate->SetVisibility(other._plate->GetVisibility());
  _letters->SetVisibility(other._letters->GetVisibility());
}
