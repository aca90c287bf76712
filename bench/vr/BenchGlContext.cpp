#include "BenchGlContext.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QWindow>

struct BenchGlContext::Impl {
  int argc = 1;
  char name[16] = "bench_vr_stereo";
  char* argv[2] = {name, nullptr};
  // The default format must be set before the application object exists.
  QGuiApplication application{withDefaultFormat(argc), argv};
  QWindow window;
  QOpenGLContext context;
  bool valid = false;

  static int& withDefaultFormat(int& count) {
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setSwapInterval(0);
    QSurfaceFormat::setDefaultFormat(format);
    return count;
  }
};

BenchGlContext::BenchGlContext(int width, int height) : _impl(new Impl) {
  _impl->window.setSurfaceType(QSurface::OpenGLSurface);
  _impl->window.resize(width, height);
  _impl->window.create();
  _impl->window.show();
  _impl->valid = _impl->context.create() && _impl->context.makeCurrent(&_impl->window);
}

BenchGlContext::~BenchGlContext() {
  _impl->context.doneCurrent();
  delete _impl;
}

bool BenchGlContext::valid() const { return _impl->valid; }

void BenchGlContext::makeCurrent() { _impl->context.makeCurrent(&_impl->window); }
