#include "MessageHandler.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>
#include <cstring>

namespace {
// Installing a null handler yields Qt's default one; done during static initialisation,
// before the start-up installs MessageHandler.
const QtMessageHandler g_previousHandler = qInstallMessageHandler(nullptr);

const char kWindowDestroyedPrefix[] = "External WM_DESTROY received for";
}  // namespace

void MessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  const QByteArray text = message.toUtf8();
  const size_t prefixLength = std::strlen(kWindowDestroyedPrefix);
  if (size_t(text.size()) >= prefixLength && std::memcmp(text.constData(), kWindowDestroyedPrefix, prefixLength) == 0)
    std::exit(0);
  if (g_previousHandler) g_previousHandler(type, context, message);
}
