#pragma once
// The Qt message handler: ends the program quietly on the window system's
// "External WM_DESTROY received for" message and passes every other message on, unchanged,
// to the handler that was installed before (Qt's default one).
#include <QtGlobal>

void MessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);
