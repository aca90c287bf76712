#include "kvg/FreeTypeFontManager.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include <vtkCellArray.h>
#include <vtkContourTriangulator.h>
#include <vtkFreeTypeTools.h>
#include <vtkIntArray.h>
#include <vtkPath.h>
#include <vtkPoints.h>
#include <vtkStdString.h>
#include <vtkTextProperty.h>

#include "StringHelper.h"

namespace kvg {

namespace {
bool isFontFile(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return extension == ".ttf" || extension == ".otf";
}
// Glyph outlines are taken at this size; curves are flattened into this many segments.
constexpr int kOutlineSize = 64;
constexpr int kCurveSegments = 6;

// The path's contours as closed polylines, its curves flattened.
vtkSmartPointer<vtkPolyData> flatten(vtkPath* path) {
  auto points = vtkSmartPointer<vtkPoints>::New();
  auto lines = vtkSmartPointer<vtkCellArray>::New();
  vtkPoints* in = path->GetPoints();
  vtkIntArray* codes = path->GetCodes();
  std::vector<vtkIdType> contour;
  auto close = [&] {
    if (contour.size() >= 3) {
      contour.push_back(contour.front());
      lines->InsertNextCell(vtkIdType(contour.size()), contour.data());
    }
    contour.clear();
  };
  double last[3] = {0, 0, 0};
  auto add = [&](const double p[3]) {
    contour.push_back(points->InsertNextPoint(p));
    std::copy(p, p + 3, last);
  };
  const vtkIdType n = in ? in->GetNumberOfPoints() : 0;
  for (vtkIdType i = 0; i < n; ++i) {
    double p[3];
    in->GetPoint(i, p);
    switch (codes->GetValue(i)) {
      case vtkPath::MOVE_TO:
        close();
        add(p);
        break;
      case vtkPath::CONIC_CURVE: {
        if (i + 1 >= n) break;
        double end[3], from[3];
        in->GetPoint(++i, end);
        std::copy(last, last + 3, from);
        for (int s = 1; s <= kCurveSegments; ++s) {
          const double t = double(s) / kCurveSegments, u = 1 - t;
          const double q[3] = {u * u * from[0] + 2 * u * t * p[0] + t * t * end[0],
                               u * u * from[1] + 2 * u * t * p[1] + t * t * end[1], 0};
          add(q);
        }
        break;
      }
      case vtkPath::CUBIC_CURVE: {
        if (i + 2 >= n) break;
        double c2[3], end[3], from[3];
        in->GetPoint(++i, c2);
        in->GetPoint(++i, end);
        std::copy(last, last + 3, from);
        for (int s = 1; s <= kCurveSegments; ++s) {
          const double t = double(s) / kCurveSegments, u = 1 - t;
          const double q[3] = {
              u * u * u * from[0] + 3 * u * u * t * p[0] + 3 * u * t * t * c2[0] + t * t * t * end[0],
              u * u * u * from[1] + 3 * u * u * t * p[1] + 3 * u * t * t * c2[1] + t * t * t * end[1], 0};
          add(q);
        }
        break;
      }
      default:
        add(p);
        break;
    }
  }
  close();
  auto data = vtkSmartPointer<vtkPolyData>::New();
  data->SetPoints(points);
  data->SetLines(lines);
  return data;
}
}  // namespace

FreeTypeFontManager& FreeTypeFontManager::getSingleton() {
  static FreeTypeFontManager manager;
  return manager;
}

bool FreeTypeFontManager::addFontDirectory(const std::wstring& folder, bool recursive) {
  const std::filesystem::path root(StringHelper::toString(folder));
  std::error_code error;
  if (!std::filesystem::is_directory(root, error)) return false;
  std::vector<std::string> found;
  auto consider = [&](const std::filesystem::directory_entry& entry) {
    std::error_code e;
    if (entry.is_regular_file(e) && isFontFile(entry.path())) found.push_back(entry.path().string());
  };
  if (recursive) {
    for (std::filesystem::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error))
      consider(*it);
  } else {
    for (std::filesystem::directory_iterator it(root, error), end; !error && it != end; it.increment(error))
      consider(*it);
  }
  std::sort(found.begin(), found.end());
  if (found.empty()) return false;
  std::lock_guard<std::mutex> lock(_mutex);
  for (const std::string& file : found)
    if (std::find(_fontFiles.begin(), _fontFiles.end(), file) == _fontFiles.end()) _fontFiles.push_back(file);
  return true;
}

std::vector<std::string> FreeTypeFontManager::getFontFiles() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _fontFiles;
}

std::string FreeTypeFontManager::getDefaultFontFile() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _defaultFontFile;
}

void FreeTypeFontManager::setDefaultFontFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(_mutex);
  _defaultFontFile = path;
}

vtkSmartPointer<vtkPolyData> FreeTypeFontManager::textOutline(const std::string& text) const {
  const std::string font = getDefaultFontFile();
  vtkFreeTypeTools* tools = vtkFreeTypeTools::GetInstance();
  if (font.empty() || text.empty() || !tools) return nullptr;
  auto property = vtkSmartPointer<vtkTextProperty>::New();
  property->SetFontFamily(VTK_FONT_FILE);
  property->SetFontFile(font.c_str());
  property->SetFontSize(kOutlineSize);
  property->SetJustificationToLeft();
  property->SetVerticalJustificationToBottom();
  // The capital's height sets the scale, as the stroke font's letters are one unit high.
  auto capital = vtkSmartPointer<vtkPath>::New();
  auto glyphs = vtkSmartPointer<vtkPath>::New();
  {
    // VTK's FreeType tools keep one face cache for the process; scenes are built on several threads.
    static std::mutex freeTypeMutex;
    std::lock_guard<std::mutex> lock(freeTypeMutex);
    if (!tools->StringToPath(property, vtkStdString("H"), 72, capital) ||
        !tools->StringToPath(property, vtkStdString(text), 72, glyphs))
      return nullptr;
  }
  double capitalBounds[6];
  capital->GetBounds(capitalBounds);
  const double capitalHeight = capitalBounds[3] - capitalBounds[2];
  if (!(capitalHeight > 0) || glyphs->GetNumberOfPoints() == 0) return nullptr;

  vtkSmartPointer<vtkPolyData> contours = flatten(glyphs);
  auto triangles = vtkSmartPointer<vtkCellArray>::New();
  // Outlines and the holes in them run opposite ways: the holes stay open.
  const double normal[3] = {0, 0, -1};
  if (!vtkContourTriangulator::TriangulateContours(contours, 0, contours->GetNumberOfLines(), triangles, normal) ||
      triangles->GetNumberOfCells() == 0)
    return nullptr;
  vtkPoints* points = contours->GetPoints();
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
    double p[3];
    points->GetPoint(i, p);
    points->SetPoint(i, p[0] / capitalHeight, (p[1] - capitalBounds[2]) / capitalHeight, 0);
  }
  auto outline = vtkSmartPointer<vtkPolyData>::New();
  outline->SetPoints(points);
  outline->SetPolys(triangles);
  return outline;
}

void FreeTypeFontManager::clear() {
  std::lock_guard<std::mutex> lock(_mutex);
  _fontFiles.clear();
  _defaultFontFile.clear();
}

}  // namespace kvg

bool setDefaultKvgFont() {
  kvg::FreeTypeFontManager& fonts = kvg::FreeTypeFontManager::getSingleton();
  const std::vector<std::string> files = fonts.getFontFiles();
  if (files.empty()) return false;
  fonts.setDefaultFontFile(files.front());
  return true;
}
