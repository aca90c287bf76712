#pragma once
// The editable parts of one served scene: point parts, line parts, plane sections and plane
// probes, each under a name that contains its type name ("PointPart 1", "PlaneSection 2", ...).
// The model starts from the "Part" drawables of the scene's first frame and from then on is what
// every frame the server sends shows: the frames' own part drawables are replaced by the model's.
// The part-widget commands highlight, delete, clone and (through node notifications) move parts.
//
// Not thread-safe: the server guards it with its own mutex.
#include <array>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Properties.h"

struct ServedPart {
  std::string name;
  int type = 0;  // 1 PointPart, 2 LinePart, 3 PlaneSection, 4 PlaneProbePart
  std::array<std::array<double, 3>, 3> p{};
  double size = 0.1;
  bool highlighted = false;  // as the scene's first frame draws it
  Properties block;  // the drawable block it came from (colours, size, section source, ...)
};

class PartModel {
 public:
  // "PointPart", "LinePart", "PlaneSection", "PlaneProbePart" for 1..4; "" otherwise.
  static const char* typeName(int type);
  // The part type of a "Clone..." command name; 0 when it is none.
  static int cloneType(const std::string& command);

  // Takes the "Part" drawables of a scene record ("FrameContent" / "drawables").
  void readRecord(const Properties& record);
  // The record with its part drawables replaced by the model's parts. `highlightedBy` (may be
  // null) names, per part, the connections that highlight it: written as the part's
  // "highlightedBy" list, so that each program shows the widget of its own pick. The scene's
  // own highlight ("base" "highlighted") stands only while `ownHighlight` holds.
  Properties apply(const Properties& record,
                   const std::map<std::string, std::vector<std::string>>* highlightedBy = nullptr,
                   bool ownHighlight = true) const;
  // The parts the scene itself draws highlighted.
  std::set<std::string> sceneHighlight() const;

  const std::vector<ServedPart>& parts() const { return _parts; }
  const ServedPart* find(const std::string& name) const;

  // Each command returns an empty text on success, else why it was refused; changed tells
  // whether the parts look different afterwards.
  // "Parts": the names one connection highlights (into `highlighted`, which holds that
  // connection's highlight before); every other part loses that connection's highlight. Empty
  // names are skipped, an unknown name is refused and changes nothing.
  std::string highlight(const Properties& args, std::set<std::string>& highlighted, bool& changed) const;
  // "Part": the part to delete. "DeletePointPart" takes every type but plane sections (point,
  // line and plane-probe parts), "DeletePlaneSection" only plane sections.
  std::string remove(const std::string& command, const Properties& args, bool& changed);
  // "Clone<Type>": the source part named under the type name's key and the new geometry; the
  // copy is named "<Type> <n>" with n one more than the highest number in use for the type.
  std::string clone(const std::string& command, const Properties& args, std::string& created);
  // A node notification of a moved part: "Part" and the geometry keys of its type.
  std::string move(const Properties& args, bool& changed);

 private:
  ServedPart* findPart(const std::string& name);
  // Reads the geometry keys of the type into p; false with the reason when one is missing.
  static bool readGeometry(int type, const Properties& args, std::array<std::array<double, 3>, 3>& p,
                           std::string& error);
  std::vector<ServedPart> _parts;
};
