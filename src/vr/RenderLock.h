#pragma once
// The render lock: one process-wide re-entrant lock held around every call into the VR runtime,
// so that its initialisation, shut-down, pose polling, projection queries, render-model loading
// and frame submission never overlap. Any thread may take it (render thread, back-buffer
// updater); holders keep it only for the runtime work of one operation and never wait for
// another thread while holding it. Take it with Lock::AutoLock.
#include "Lock.h"

Lock& GetRenderLock();
