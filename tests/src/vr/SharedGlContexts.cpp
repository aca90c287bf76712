#include "SharedGlContexts.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>
#include <QWindow>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

void InitGlewForCurrentContext();

namespace {

QGuiApplication* application() {
  static int argc = 1;
  static char name[] = "test_vr";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = [] {
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    return new QGuiApplication(argc, argv);
  }();
  return app;
}

}  // namespace

bool RunOnSharedContexts(int count, const std::function<void(int)>& work) {
  application();
  QOpenGLContext root;
  if (!root.create()) return false;
  std::vector<std::unique_ptr<QOffscreenSurface>> surfaces;
  for (int i = 0; i <= count; ++i) {
    surfaces.emplace_back(new QOffscreenSurface);
    surfaces.back()->create();
  }
  if (!root.makeCurrent(surfaces[0].get())) return false;
  InitGlewForCurrentContext();
  root.doneCurrent();

  std::atomic<bool> ok{true};
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([&, i] {
      QOpenGLContext context;
      context.setShareContext(&root);
      if (!context.create() || !context.makeCurrent(surfaces[i + 1].get())) {
        ok = false;
        return;
      }
      work(i);
      context.functions()->glFinish();
      context.doneCurrent();
    });
  }
  for (auto& thread : threads) thread.join();
  return ok;
}

struct QtGlWindow::Impl {
  QWindow window;
  QOpenGLContext context;
  bool valid = false;
};

QtGlWindow::QtGlWindow(int width, int height) : _impl((application(), new Impl)) {
  _impl->window.setSurfaceType(QSurface::OpenGLSurface);
  _impl->window.resize(width, height);
  _impl->window.create();
  _impl->window.show();
  _impl->valid = _impl->context.create() && _impl->context.makeCurrent(&_impl->window);
  if (_impl->valid) InitGlewForCurrentContext();
}

QtGlWindow::~QtGlWindow() {
  _impl->context.doneCurrent();
  delete _impl;
}

bool QtGlWindow::valid() const { return _impl->valid; }
void QtGlWindow::makeCurrent() { _impl->context.makeCurrent(&_impl->window); }
void QtGlWindow::doneCurrent() { _impl->context.doneCurrent(); }
