#pragma once
// Registers the embedded window QML ("qrc:///qml/App.qml" and its dialogs) and the window icon
// (":/qml/quonixvr.ico"). Call once before loading the QML; the resources live in a static
// library, so nothing registers them by itself.
void InitQmlResources();
