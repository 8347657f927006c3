#include "gui/common/WindowTitle.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QWidget>
#include <cstdint>
#include <cstdlib>

#ifdef ZUB_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace zub {

#ifdef ZUB_HAVE_XCB
namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(qstrlen(name)), name);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  if (!reply) return XCB_ATOM_NONE;
  const xcb_atom_t atom = reply->atom;
  std::free(reply);
  return atom;
}

}  // namespace
#endif

void KeepExactTitle(QWidget& window) {
#ifdef ZUB_HAVE_XCB
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return;
  xcb_connection_t* connection = x11->connection();
  const auto id = static_cast<xcb_window_t>(window.winId());
  const xcb_atom_t name = Atom(connection, "_NET_WM_NAME");
  const xcb_atom_t utf8 = Atom(connection, "UTF8_STRING");
  if (name == XCB_ATOM_NONE || utf8 == XCB_ATOM_NONE) return;
  const QByteArray title = window.windowTitle().toUtf8();
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, name, utf8, 8,
                      static_cast<std::uint32_t>(title.size()), title.constData());
  xcb_flush(connection);
#else
  (void)window;
#endif
}

}  // namespace zub
