#pragma once
// Typed, checked reading of one block of a scene file, with messages that say where.
#include <initializer_list>
#include <string>
#include <vector>

#include "Properties.h"
#include "kvg/Types.h"

class SceneBlock {
 public:
  // where: how messages name the block ("drawable 'wall'").
  SceneBlock(const Properties& block, std::string where) : _block(block), _where(std::move(where)) {}

  const Properties& properties() const { return _block; }
  const std::string& where() const { return _where; }
  bool has(const char* key) const { return _block.hasName(key); }
  bool isBlock(const char* key) const { return _block.typeOf(key) == Properties::Type::Nested; }

  // Fails on the first entry whose name is not allowed.
  bool only(std::initializer_list<const char*> allowed);

  // Each getter leaves out untouched when the key is absent; fails when it is required and
  // absent, or present with the wrong kind of value.
  bool getString(const char* key, std::string& out, bool required = false);
  bool getReal(const char* key, double& out, bool required = false);
  bool getInt(const char* key, int& out, bool required = false);
  bool getBool(const char* key, bool& out, bool required = false);
  bool getVec3(const char* key, kvg::Vec3& out, bool required = false);
  // A list of numbers whose length is a multiple of multipleOf (and at least minimum).
  bool getReals(const char* key, std::vector<double>& out, bool required = false, size_t multipleOf = 1,
                size_t minimum = 0);
  bool getStrings(const char* key, std::vector<std::string>& out, bool required = false);
  bool getBlock(const char* key, Properties& out, bool required = false);

  bool fail(const std::string& message);
  bool ok() const { return _error.empty(); }
  const std::string& error() const { return _error; }

 private:
  bool missing(const char* key, bool required);
  const Properties& _block;
  std::string _where;
  std::string _error;
};
