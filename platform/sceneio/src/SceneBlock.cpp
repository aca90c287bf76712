#include "SceneBlock.h"

#include <cmath>
#include <cstring>

using Type = Properties::Type;

bool SceneBlock::fail(const std::string& message) {
  if (_error.empty()) _error = _where.empty() ? message : _where + ": " + message;
  return false;
}

bool SceneBlock::missing(const char* key, bool required) {
  if (required) fail(std::string("'") + key + "' is missing");
  return !required;
}

bool SceneBlock::only(std::initializer_list<const char*> allowed) {
  for (const std::string& name : _block.names()) {
    bool known = false;
    for (const char* a : allowed) known = known || name == a;
    if (!known) return fail("unknown entry '" + name + "'");
  }
  return true;
}

bool SceneBlock::getString(const char* key, std::string& out, bool required) {
  if (!has(key)) return missing(key, required);
  Type t = _block.typeOf(key);
  if (t == Type::Nested || t == Type::RealList || t == Type::StringList)
    return fail(std::string("'") + key + "' must be a text");
  out = _block.getString(key);
  return true;
}

bool SceneBlock::getReal(const char* key, double& out, bool required) {
  if (!has(key)) return missing(key, required);
  Type t = _block.typeOf(key);
  if (t != Type::Int && t != Type::Real) return fail(std::string("'") + key + "' must be a number");
  out = _block.getReal(key);
  if (!std::isfinite(out)) return fail(std::string("'") + key + "' must be a finite number");
  return true;
}

bool SceneBlock::getInt(const char* key, int& out, bool required) {
  if (!has(key)) return missing(key, required);
  int64_t v = 0;
  if (_block.typeOf(key) != Type::Int || !_block.tryGetInt(key, v) || v < -2147483647 || v > 2147483647)
    return fail(std::string("'") + key + "' must be a whole number");
  out = int(v);
  return true;
}

bool SceneBlock::getBool(const char* key, bool& out, bool required) {
  if (!has(key)) return missing(key, required);
  if (_block.typeOf(key) != Type::Bool) return fail(std::string("'") + key + "' must be true or false");
  out = _block.getBool(key);
  return true;
}

bool SceneBlock::getVec3(const char* key, kvg::Vec3& out, bool required) {
  std::vector<double> v;
  if (!has(key)) return missing(key, required);
  if (_block.typeOf(key) != Type::RealList || !_block.get(key, v) || v.size() != 3)
    return fail(std::string("'") + key + "' must be a list of 3 numbers");
  for (double d : v)
    if (!std::isfinite(d)) return fail(std::string("'") + key + "' must hold finite numbers");
  out = {v[0], v[1], v[2]};
  return true;
}

bool SceneBlock::getReals(const char* key, std::vector<double>& out, bool required, size_t multipleOf,
                          size_t minimum) {
  if (!has(key)) return missing(key, required);
  std::vector<double> v;
  if (_block.typeOf(key) != Type::RealList || !_block.get(key, v))
    return fail(std::string("'") + key + "' must be a list of numbers");
  if (multipleOf > 1 && v.size() % multipleOf != 0)
    return fail(std::string("'") + key + "' must hold a multiple of " + std::to_string(multipleOf) + " numbers");
  if (v.size() < minimum)
    return fail(std::string("'") + key + "' must hold at least " + std::to_string(minimum) + " numbers");
  for (double d : v)
    if (!std::isfinite(d)) return fail(std::string("'") + key + "' must hold finite numbers");
  out = std::move(v);
  return true;
}

bool SceneBlock::getStrings(const char* key, std::vector<std::string>& out, bool required) {
  if (!has(key)) return missing(key, required);
  Type t = _block.typeOf(key);
  std::vector<std::string> v;
  if (t == Type::String) {
    v.push_back(_block.getString(key));
  } else if (t != Type::StringList || !_block.get(key, v)) {
    return fail(std::string("'") + key + "' must be a text or a list of texts");
  }
  out = std::move(v);
  return true;
}

bool SceneBlock::getBlock(const char* key, Properties& out, bool required) {
  if (!has(key)) return missing(key, required);
  if (!isBlock(key)) return fail(std::string("'") + key + "' must be a block { ... }");
  out = _block.getProperties(key);
  return true;
}
