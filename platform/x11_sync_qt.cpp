#include "platform/x11_sync_qt.h"

#include <xcb/xcb.h>
#include <QGuiApplication>

#include <cstdlib>

namespace ruvello {

void SyncQtWithXServer() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (xcb_connection_t* connection = x11 ? x11->connection() : nullptr) {
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
}

}  // namespace ruvello
