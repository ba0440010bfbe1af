#include "xprobe.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdexcept>

namespace {

Display* display(void* handle) { return static_cast<Display*>(handle); }

}  // namespace

XProbe::XProbe() : display_(XOpenDisplay(nullptr)) {
    if (display_ == nullptr) throw std::runtime_error("cannot open the X display");
    // A window that is not mapped yet answers XGetImage with an error; that only means "not yet".
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    pid_atom_ = XInternAtom(display(display_), "_NET_WM_PID", False);
}

XProbe::~XProbe() { XCloseDisplay(display(display_)); }

std::optional<XProbe::Window> XProbe::window_of(pid_t pid) {
    return search(DefaultRootWindow(display(display_)), pid);
}

std::optional<XProbe::Image> XProbe::grab(Window window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display(display_), window, &attributes) || attributes.map_state != IsViewable)
        return std::nullopt;
    XImage* image = XGetImage(display(display_), window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (image == nullptr) return std::nullopt;
    Image result{attributes.width, attributes.height, {}};
    result.pixels.reserve(static_cast<std::size_t>(result.width) * static_cast<std::size_t>(result.height));
    for (int y = 0; y < result.height; ++y)
        for (int x = 0; x < result.width; ++x) result.pixels.push_back(XGetPixel(image, x, y) & 0xFFFFFF);
    XDestroyImage(image);
    return result;
}

bool XProbe::painted(Window window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display(display_), window, &attributes) || attributes.map_state != IsViewable)
        return false;
    XImage* image = XGetImage(display(display_), window, attributes.width / 2, attributes.height / 2, 1, 1,
                              AllPlanes, ZPixmap);
    if (image == nullptr) return false;
    const bool drawn = (XGetPixel(image, 0, 0) & 0xFFFFFF) != 0;
    XDestroyImage(image);
    return drawn;
}

std::optional<XProbe::Window> XProbe::search(Window window, pid_t pid) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display(display_), window, &attributes) && attributes.map_state == IsViewable &&
        attributes.width > 100 && pid_of(window) == pid)
        return window;
    ::Window root = 0, parent = 0;
    ::Window* children = nullptr;
    unsigned count = 0;
    std::optional<Window> found;
    if (XQueryTree(display(display_), window, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i) found = search(children[i], pid);
        if (children != nullptr) XFree(children);
    }
    return found;
}

long XProbe::pid_of(Window window) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display(display_), window, pid_atom_, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &after, &data) == Success &&
        data != nullptr) {
        if (items == 1 && format == 32) pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
        XFree(data);
    }
    return pid;
}
