#pragma once
// A text label placed in the scene.
#include <string>

#include "kvg/Drawable.h"

namespace kvg {

class LabelDrawable : public Drawable {
  KVG_NODE_TYPE(LabelDrawable, Drawable)

 public:
  const std::string& getText() const { return _text; }
  void setText(const std::string& text) { update(_text, text); }
  const Vec3& getPosition() const { return _position; }
  void setPosition(const Vec3& position) { update(_position, position); }
  // Height of a capital letter in scene units.
  double getHeight() const { return _height; }
  void setHeight(double height) { update(_height, height); }

 private:
  std::string _text;
  Vec3 _position{0.0, 0.0, 0.0};
  double _height = 0.1;
};

}  // namespace kvg
