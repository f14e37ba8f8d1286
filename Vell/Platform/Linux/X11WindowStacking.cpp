#include "X11WindowStacking.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Window managers that draw their own frame report the client area; the
// browser reports the outer bounds. Allow that much slack.
constexpr int boundsSlack = 48;

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, Free>;

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name);
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QByteArray propertyBytes(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    if (!reply) return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

bool isBrowserClass(const QString& wmClass)
{
    return wmClass.contains(QLatin1String("chrom"), Qt::CaseInsensitive);
}

int distance(const QRect& a, const QRect& b)
{
    return std::max({std::abs(a.x() - b.x()), std::abs(a.y() - b.y()), std::abs(a.width() - b.width()),
                     std::abs(a.height() - b.height())});
}

} // namespace

X11WindowStacking::X11WindowStacking(QByteArray displayName) : displayName_(std::move(displayName)) {}

std::optional<QList<qint64>> X11WindowStacking::match(const QList<XWindow>& stack,
                                                      const QList<BrowserWindowInfo>& windows)
{
    QList<qint64> order;
    QList<bool> taken(windows.size(), false);
    // Top of the stack first.
    for (auto it = stack.crbegin(); it != stack.crend(); ++it) {
        if (!isBrowserClass(it->wmClass)) continue;
        int best = -1;
        int bestScore = 0;
        for (int i = 0; i < windows.size(); ++i) {
            if (taken.at(i)) continue;
            const int d = distance(it->bounds, windows.at(i).bounds);
            if (d > boundsSlack) continue;
            const QString& title = windows.at(i).activeTabTitle;
            const bool titled = !title.isEmpty() && it->title.startsWith(title);
            // Same bounds are common (maximised windows): the title decides then.
            const int score = (titled ? 1000 : 0) + (boundsSlack - d);
            if (best < 0 || score > bestScore) {
                best = i;
                bestScore = score;
            }
        }
        if (best < 0) continue;
        taken[best] = true;
        order << windows.at(best).id;
    }
    if (order.isEmpty()) return std::nullopt;
    return order;
}

std::optional<QList<qint64>> X11WindowStacking::frontToBack(const QList<BrowserWindowInfo>& windows)
{
    const QByteArray name = displayName_.isEmpty() ? qgetenv("DISPLAY") : displayName_;
    if (name.isEmpty()) return std::nullopt;
    int screenNumber = 0;
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> c(
        xcb_connect(name.constData(), &screenNumber), &xcb_disconnect);
    if (!c || xcb_connection_has_error(c.get())) return std::nullopt;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c.get()));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) return std::nullopt;
    const xcb_window_t root = screens.data->root;

    const xcb_atom_t stackingAtom = internAtom(c.get(), "_NET_CLIENT_LIST_STACKING");
    const xcb_atom_t nameAtom = internAtom(c.get(), "_NET_WM_NAME");
    const xcb_atom_t utf8Atom = internAtom(c.get(), "UTF8_STRING");
    const QByteArray list =
        propertyBytes(c.get(), xcb_get_property(c.get(), 0, root, stackingAtom, XCB_ATOM_WINDOW, 0, 4096));
    const int count = static_cast<int>(list.size() / sizeof(xcb_window_t));
    if (count == 0) return std::nullopt;
    const auto* ids = reinterpret_cast<const xcb_window_t*>(list.constData());

    // Ask for everything first, then collect: one round trip in all.
    struct Pending {
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
        xcb_get_property_cookie_t title;
        xcb_get_property_cookie_t wmClass;
    };
    QList<Pending> pending;
    pending.reserve(count);
    for (int i = 0; i < count; ++i) {
        const xcb_window_t w = ids[i];
        pending << Pending{xcb_get_geometry(c.get(), w), xcb_translate_coordinates(c.get(), w, root, 0, 0),
                           xcb_get_property(c.get(), 0, w, nameAtom, utf8Atom, 0, 1024),
                           xcb_get_property(c.get(), 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256)};
    }
    QList<XWindow> stack;
    for (const Pending& p : pending) {
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c.get(), p.geometry, nullptr));
        Reply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(c.get(), p.origin, nullptr));
        const QByteArray title = propertyBytes(c.get(), p.title);
        QByteArray wmClass = propertyBytes(c.get(), p.wmClass);
        if (!geometry || !origin) continue;
        wmClass.replace('\0', ' ');
        stack << XWindow{QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height),
                         QString::fromUtf8(title), QString::fromLatin1(wmClass)};
    }
    return match(stack, windows);
}
