// sce-info: what a scene file holds, or why it cannot be read.
//   sce-info [--quick] <scene file>
// Lists the frame sets and frames with their drawables and, unless --quick, loads every
// frame as the program would and summarises its data. Exit code 0 when everything reads,
// 1 when something does not, 2 for a wrong command line.
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>

#include <vtkCellData.h>
#include <vtkImageData.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>

#include "RecordsManager.h"
#include "SceneFormatHandler.h"
#include "StringHelper.h"
#include "kvg/CollectionNode.h"
#include "kvg/Drawable.h"
#include "kvg/DrawableSession.h"
#include "kvg/ImageDataNode.h"
#include "kvg/PolyDataNode.h"
#include "kvg/RendererObjectRegistryBase.h"
#include "kvg/SDBReader.h"
#include "kvg/SceneCanvas.h"

namespace {

std::string arrayNames(vtkFieldData* data) {
  std::string names;
  for (int i = 0; i < data->GetNumberOfArrays(); ++i) {
    const char* n = data->GetArrayName(i);
    if (!n) continue;
    names += (names.empty() ? "" : ", ") + std::string(n);
    if (data->GetArray(i) && data->GetArray(i)->GetNumberOfComponents() > 1)
      names += " (" + std::to_string(data->GetArray(i)->GetNumberOfComponents()) + ")";
  }
  return names;
}

std::string summary(kvg::Object* data) {
  std::ostringstream out;
  if (auto* p = dynamic_cast<kvg::PolyDataNode*>(data)) {
    vtkPolyData* pd = p->getPolyData();
    out << pd->GetNumberOfPoints() << " points, " << pd->GetNumberOfCells() << " cells";
    std::string arrays = arrayNames(pd->GetPointData());
    if (!arrays.empty()) out << "; point arrays " << arrays;
    arrays = arrayNames(pd->GetCellData());
    if (!arrays.empty()) out << "; cell arrays " << arrays;
  } else if (auto* i = dynamic_cast<kvg::ImageDataNode*>(data)) {
    int d[3];
    i->getImageData()->GetDimensions(d);
    out << d[0] << " x " << d[1] << " x " << d[2] << " points";
    if (!i->getScalarArrayName().empty()) out << "; scalars " << i->getScalarArrayName();
    if (!i->getVectorArrayName().empty()) out << "; vectors " << i->getVectorArrayName();
  } else if (auto* c = dynamic_cast<kvg::CollectionNode*>(data)) {
    out << c->getNumberOfNodes() << " data sets";
    kvg::CollectionNode::Iterator it(*c);
    while (it.traverse()) out << "\n        - " << summary(it.getNode().getObject());
  } else {
    out << "no data";
  }
  return out.str();
}

std::string source(const Properties* frame, const std::string& blockName) {
  if (!frame) return std::string();
  Properties drawable = frame->getProperties("drawables").getProperties(blockName);
  switch (drawable.typeOf("data")) {
    case Properties::Type::String: return drawable.getString("data");
    case Properties::Type::StringList: {
      std::vector<std::string> files;
      drawable.get("data", files);
      return std::to_string(files.size()) + " files";
    }
    case Properties::Type::Nested: return "inline data";
    default: return std::string();
  }
}

// Loads the frame into a session of its own and prints its drawables; false when it fails.
bool describeFrame(kvg::SDBReader& reader, const Properties& record, const Properties* content, bool load) {
  std::vector<std::string> blocks = content ? content->getProperties("drawables").names() : std::vector<std::string>();
  if (!load) {
    for (const std::string& b : blocks) {
      Properties d = content->getProperties("drawables").getProperties(b);
      std::cout << "    " << std::left << std::setw(14) << d.getString("type") << " " << b;
      std::string s = source(content, b);
      if (!s.empty()) std::cout << ": " << s;
      std::cout << "\n";
    }
    return true;
  }
  kvg::DrawableSession session(kvg::RendererObjectRegistryBase::getNextHandle(0), -1);
  kvg::RendererNodeStream stream(session);
  if (!reader.loadRecord(record, stream)) {
    std::cout << "    cannot be loaded: " << reader.getLastError() << "\n";
    return false;
  }
  std::vector<kvg::SceneCanvas*> canvases = session.getNodeRegistry().findNodesOfClass<kvg::SceneCanvas>();
  if (canvases.empty()) return true;
  size_t index = 0;
  for (const kvg::Ptr<kvg::Node>& node : canvases.front()->getDrawables()->getNodes()) {
    kvg::Drawable* d = node.get() ? dynamic_cast<kvg::Drawable*>(node.get()) : nullptr;
    if (!d) continue;
    std::string className = d->getNodeClassName();
    std::cout << "    " << std::left << std::setw(22) << className << " \"" << d->getName() << "\"";
    std::string s = index < blocks.size() ? source(content, blocks[index]) : std::string();
    ++index;
    if (d->getDataNode()) std::cout << "\n        " << (s.empty() ? "" : s + ": ") << summary(d->getDataNode().getObject());
    std::cout << "\n";
  }
  std::cout << "    " << session.getNodeRegistry().size() << " scene-graph nodes\n";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool load = true;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0)
      load = false;
    else if (path.empty())
      path = argv[i];
    else
      path.clear(), i = argc;
  }
  if (path.empty()) {
    std::cerr << "usage: sce-info [--quick] <scene file>\n"
                 "Lists a scene file's frame sets, frames and data; --quick skips loading the data.\n";
    return 2;
  }

  std::cout << "Scene:      " << path << "\n";
  std::wstring widePath = StringHelper::toWString(path);
  std::ostringstream diagnostics;
  switch (SceneFormatHandler::detectSceneFormat(widePath, diagnostics)) {
    case SceneFormatHandler::FileMissing:
      std::cout << "Error:      File does not exist.\n";
      return 1;
    case SceneFormatHandler::CannotOpen:
      std::cout << "Error:      Cannot open file.\n";
      return 1;
    case SceneFormatHandler::ZippedScene: {
      std::string error;
      widePath = SceneFormatHandler::convertZippedScene(widePath, error);
      if (widePath.empty()) {
        std::cout << "Error:      Compressed scene that cannot be unpacked: " << error << "\n";
        return 1;
      }
      std::cout << "Format:     compressed scene, unpacked to " << StringHelper::toString(widePath) << "\n";
      break;
    }
    case SceneFormatHandler::PlainScene:
      std::cout << "Format:     scene file\n";
      break;
    default:
      std::cout << "Error:      Unknown file format. " << diagnostics.str() << "\n";
      return 1;
  }

  kvg::SDBReader reader;
  const int opened = reader.open(widePath);
  if (opened != kvg::SDBReader::Opened) {
    std::cout << "Error:      "
              << (opened == kvg::SDBReader::BeingWritten ? "File is being written, try to open it later. "
                                                           : "Could not open specified path. ")
              << reader.getLastError() << "\n";
    return 1;
  }
  const kvg::SDBReader::CanvasInfo& canvas = reader.getCanvasInfo();
  RecordsManager records(reader);
  std::cout << "Canvas:     " << canvas.key << (canvas.title.empty() ? "" : " \"" + canvas.title + "\"") << "\n"
            << "Frame sets: " << records.framesetsCount() << "\n";

  bool ok = true;
  for (int s = 0; s < records.framesetsCount(); ++s) {
    const int frames = records.framesCount(s);
    std::cout << "\nFrame set " << s << ": \"" << records.getFramesetTitle(s) << "\", " << frames
              << (frames == 1 ? " frame" : " frames") << "\n";
    if (frames == 0) std::cout << "  (no frames: this frame set cannot be opened)\n";
    for (int f = 0; f < frames; ++f) {
      Properties record = records.getFrame(s, f);
      std::cout << "  Frame " << f;
      if (!record.getString("Description").empty())
        std::cout << ", " << record.getString("Description");
      else if (record.hasName("Time"))
        std::cout << ", time " << record.getReal("Time");
      std::cout << "\n";
      ok = describeFrame(reader, record, reader.getFrameContent(s, f), load) && ok;
    }
  }
  return ok ? 0 : 1;
}
