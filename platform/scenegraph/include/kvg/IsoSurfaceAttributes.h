#pragma once
// The iso values of a volume's scalar field that its iso-surface rendering shows.
#include <string>
#include <vector>

#include "kvg/Attributes.h"

namespace kvg {

class IsoSurfaceAttributes : public Attributes {
  KVG_NODE_TYPE(IsoSurfaceAttributes, Attributes)

 public:
  const std::vector<double>& getIsoValues() const { return _values; }
  void setIsoValues(const std::vector<double>& values) { update(_values, values); }
  // Point array the values refer to; empty = the volume's scalars.
  const std::string& getFieldName() const { return _field; }
  void setFieldName(const std::string& name) { update(_field, name); }

 private:
  std::vector<double> _values;
  std::string _field;
};

}  // namespace kvg
