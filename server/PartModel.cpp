#include "PartModel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const char* const kTypeNames[] = {"", "PointPart", "LinePart", "PlaneSection", "PlaneProbePart"};

// The geometry keys of each type, in the order of p0, p1, p2: the command's and the drawable's.
struct GeometryKeys {
  std::vector<const char*> command;
  std::vector<const char*> drawable;
};

const GeometryKeys& keysOf(int type) {
  static const GeometryKeys keys[] = {{{}, {}},
                                      {{"Position"}, {"position"}},
                                      {{"Point1", "Point2"}, {"point1", "point2"}},
                                      {{"Origin", "Orientation"}, {"origin", "normal"}},
                                      {{"Point1", "Point2", "Origin"}, {"point1", "point2", "origin"}}};
  return keys[type >= 1 && type <= 4 ? type : 0];
}

int typeOfDrawable(const std::string& part) {
  if (part == "point" || part == "PointPart") return 1;
  if (part == "line" || part == "LinePart") return 2;
  if (part == "plane section" || part == "PlaneSection") return 3;
  if (part == "plane probe" || part == "PlaneProbePart") return 4;
  return 0;
}

bool readVector(const Properties& set, const std::string& key, std::array<double, 3>& out) {
  std::vector<double> values;
  if (!set.get(key, values) || values.size() != 3) return false;
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(values[i])) return false;
    out[i] = values[i];
  }
  return true;
}

// The number after "<type> " in a part's name as decimal digits without leading zeros, "0" when
// there is none. Kept as text: a name may carry more digits than any integer holds.
std::string numberIn(const std::string& name, const std::string& type) {
  const std::string prefix = type + " ";
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return "0";
  const std::string rest = name.substr(prefix.size());
  if (rest.find_first_not_of("0123456789") != std::string::npos) return "0";
  const size_t first = rest.find_first_not_of('0');
  return first == std::string::npos ? "0" : rest.substr(first);
}

// Compares two numbers given as digits without leading zeros.
bool lessNumber(const std::string& a, const std::string& b) {
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

// The number one above, as digits.
std::string nextNumber(std::string digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return digits;
    }
    digits[i] = '0';
  }
  return "1" + digits;
}

}  // namespace

const char* PartModel::typeName(int type) { return type >= 1 && type <= 4 ? kTypeNames[type] : ""; }

int PartModel::cloneType(const std::string& command) {
  for (int type = 1; type <= 4; ++type)
    if (command == std::string("Clone") + kTypeNames[type]) return type;
  return 0;
}

void PartModel::readRecord(const Properties& record) {
  _parts.clear();
  const Properties drawables = record.getProperties("FrameContent").getProperties("drawables");
  for (const std::string& key : drawables.names()) {
    if (drawables.typeOf(key) != Properties::Type::Nested) continue;
    const Properties block = drawables.getProperties(key);
    if (block.getString("type") != "Part") continue;
    ServedPart part;
    part.type = typeOfDrawable(block.getString("part"));
    if (part.type == 0) continue;
    part.name = block.hasName("name") ? block.getString("name") : key;
    // The viewer names a part so that its name holds its type; the commands use that name.
    if (part.name.find(typeName(part.type)) == std::string::npos)
      part.name = std::string(typeName(part.type)) + " " + part.name;
    const GeometryKeys& keys = keysOf(part.type);
    for (size_t i = 0; i < keys.drawable.size(); ++i) readVector(block, keys.drawable[i], part.p[i]);
    part.highlighted = block.getProperties("base").getBool("highlighted");
    part.block = block;
    _parts.push_back(part);
  }
}

Properties PartModel::apply(const Properties& record,
                            const std::map<std::string, std::vector<std::string>>* highlightedBy,
                            bool ownHighlight) const {
  Properties out = record;
  Properties content = record.getProperties("FrameContent");
  const Properties drawables = content.getProperties("drawables");
  Properties kept;
  for (const std::string& key : drawables.names()) {
    if (drawables.typeOf(key) == Properties::Type::Nested && drawables.getProperties(key).getString("type") == "Part")
      continue;
    if (drawables.typeOf(key) == Properties::Type::Nested) kept.set(key, drawables.getProperties(key));
  }
  for (const ServedPart& part : _parts) {
    Properties block = part.block;
    block.set("type", "Part");
    block.set("part", typeName(part.type));
    block.set("name", part.name);
    const GeometryKeys& keys = keysOf(part.type);
    for (size_t i = 0; i < keys.drawable.size(); ++i)
      block.set(keys.drawable[i], std::vector<double>(part.p[i].begin(), part.p[i].end()));
    Properties base = block.getProperties("base");
    base.set("highlighted", ownHighlight && part.highlighted);
    block.set("base", base);
    if (highlightedBy) {
      auto by = highlightedBy->find(part.name);
      if (by != highlightedBy->end() && !by->second.empty()) block.set("highlightedBy", by->second);
    }
    kept.set(part.name, block);
  }
  content.set("drawables", kept);
  out.set("FrameContent", content);
  return out;
}

const ServedPart* PartModel::find(const std::string& name) const {
  for (const ServedPart& part : _parts)
    if (part.name == name) return &part;
  return nullptr;
}

ServedPart* PartModel::findPart(const std::string& name) { return const_cast<ServedPart*>(find(name)); }

bool PartModel::readGeometry(int type, const Properties& args, std::array<std::array<double, 3>, 3>& p,
                             std::string& error) {
  const GeometryKeys& keys = keysOf(type);
  for (size_t i = 0; i < keys.command.size(); ++i) {
    if (!readVector(args, keys.command[i], p[i])) {
      error = std::string("'") + keys.command[i] + "' must be a list of three finite numbers";
      return false;
    }
  }
  if (type == 3 && p[1][0] == 0.0 && p[1][1] == 0.0 && p[1][2] == 0.0) {
    error = "'Orientation' must not be zero";
    return false;
  }
  return true;
}

std::string PartModel::highlight(const Properties& args, std::set<std::string>& highlighted, bool& changed) const {
  changed = false;
  std::vector<std::string> names;
  if (args.hasName("Parts") && !args.get("Parts", names)) return "'Parts' must be a list of part names";
  std::set<std::string> asked;
  for (const std::string& name : names) {
    if (name.empty()) continue;
    if (!find(name)) return "no part named '" + name + "' in this scene";
    asked.insert(name);
  }
  changed = asked != highlighted;
  highlighted.swap(asked);
  return std::string();
}

std::set<std::string> PartModel::sceneHighlight() const {
  std::set<std::string> names;
  for (const ServedPart& part : _parts)
    if (part.highlighted) names.insert(part.name);
  return names;
}

std::string PartModel::remove(const std::string& command, const Properties& args, bool& changed) {
  changed = false;
  const std::string name = args.getString("Part");
  ServedPart* part = findPart(name);
  if (!part) return "no part named '" + name + "' in this scene";
  const bool section = part->type == 3;
  if (section != (command == "DeletePlaneSection"))
    return command + " does not delete the " + typeName(part->type) + " '" + name + "'";
  _parts.erase(_parts.begin() + (part - _parts.data()));
  changed = true;
  return std::string();
}

std::string PartModel::clone(const std::string& command, const Properties& args, std::string& created) {
  const int type = cloneType(command);
  const std::string typeText = typeName(type);
  const std::string sourceName = args.getString(typeText);
  const ServedPart* source = find(sourceName);
  if (!source) return "no part named '" + sourceName + "' in this scene";
  if (source->type != type) return command + " cannot copy the " + typeName(source->type) + " '" + sourceName + "'";
  ServedPart copy = *source;
  std::string error;
  if (!readGeometry(type, args, copy.p, error)) return error;
  std::string highest = "0";
  for (const ServedPart& part : _parts)
    if (part.type == type) {
      const std::string n = numberIn(part.name, typeText);
      if (lessNumber(highest, n)) highest = n;
    }
  copy.name = typeText + " " + nextNumber(highest);
  copy.highlighted = false;
  _parts.push_back(copy);
  created = copy.name;
  return std::string();
}

std::string PartModel::move(const Properties& args, bool& changed) {
  changed = false;
  const std::string name = args.getString("Part");
  ServedPart* part = findPart(name);
  if (!part) return "no part named '" + name + "' in this scene";
  std::array<std::array<double, 3>, 3> p = part->p;
  std::string error;
  if (!readGeometry(part->type, args, p, error)) return error;
  changed = p != part->p;
  part->p = p;
  return std::string();
}
