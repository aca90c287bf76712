#pragma once
// Tells the scene graph's widget side what kind of application hosts it.
namespace kvg {

class RendererWidgetFactoryBase {
 public:
  // 0 desktop viewer, 1 server, 2 virtual reality.
  static void setApplicationType(int type);
  static int getApplicationType();
};

}  // namespace kvg
