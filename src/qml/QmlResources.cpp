#include "QmlResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initResources() {
  Q_INIT_RESOURCE(qml);
  Q_INIT_RESOURCE(icon);
}

void InitQmlResources() { initResources(); }
