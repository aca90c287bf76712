// Loading the library gives every drawable session, present and future, the part-widget
// service: each session takes it at its next scene update.
#include <memory>

#include "PartWidgetService.h"
#include "kvg/DrawableSession.h"

namespace {

struct Registration {
  Registration() {
    kvg::DrawableSession::addExtensionMaker([](kvg::DrawableSession& session) {
      if (!session.getExtension(zeltwidget::PartWidgetService::NAME))
        session.setExtension(zeltwidget::PartWidgetService::NAME,
                             std::make_unique<zeltwidget::PartWidgetService>(session));
    });
  }
};

const Registration registration;

}  // namespace
