#include "kvg/RendererWidgetFactoryBase.h"

#include <atomic>

namespace kvg {

namespace {
std::atomic<int> applicationType{0};
}

void RendererWidgetFactoryBase::setApplicationType(int type) { applicationType = type; }
int RendererWidgetFactoryBase::getApplicationType() { return applicationType; }

}  // namespace kvg
