// A small X11 client for the end-to-end test: waits for a window by its title,
// asks it to close as a window manager would, and saves a screenshot.
//   x11tool wait TITLE SECONDS   prints the window id once a window has the title
//   x11tool close TITLE          sends WM_DELETE_WINDOW to that window
//   x11tool focus TITLE          gives that window the keyboard focus
//   x11tool shot FILE.png [TITLE] saves the whole screen, or the titled window
//   x11tool list                 prints every window title
//   x11tool popup                succeeds while a menu or other popup is shown
// Qt first: Xlib's macros (Status, None, ...) break Qt's headers.
#include <QImage>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

std::string windowTitle(Display* display, Window window) {
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return title;
}

Window findWindow(Display* display, Window parent, const std::string& title) {
    if (windowTitle(display, parent) == title) return parent;
    Window root, up, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i)
        found = findWindow(display, children[i], title);
    if (children) XFree(children);
    return found;
}

Window waitForWindow(Display* display, const std::string& title, double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        if (Window w = findWindow(display, DefaultRootWindow(display), title)) return w;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline);
    return 0;
}

int closeWindow(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    return 0;
}

// Saves the screen, or only the part a window covers when `window` is not 0.
int screenshot(Display* display, const char* file, Window window) {
    Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, window ? window : root, &attributes);
    int left = 0, top = 0;
    Window child;
    if (window) XTranslateCoordinates(display, window, root, 0, 0, &left, &top, &child);
    XImage* image = XGetImage(display, root, left, top, attributes.width, attributes.height,
                              AllPlanes, ZPixmap);
    if (!image) return 1;
    QImage out(attributes.width, attributes.height, QImage::Format_RGB32);
    for (int y = 0; y < attributes.height; ++y) {
        for (int x = 0; x < attributes.width; ++x) {
            out.setPixel(x, y, static_cast<QRgb>(XGetPixel(image, x, y)) | 0xFF000000u);
        }
    }
    XDestroyImage(image);
    return out.save(file, "PNG") ? 0 : 1;
}

}  // namespace

// Prints the title of every window that has one, one a line.
void listTitles(Display* display, Window parent) {
    std::string title = windowTitle(display, parent);
    if (!title.empty()) std::printf("%lu %s\n", parent, title.c_str());
    Window root, up, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count)) return;
    for (unsigned int i = 0; i < count; ++i) listTitles(display, children[i]);
    if (children) XFree(children);
}

// True when a popup (a mapped override-redirect window, as a menu is) is on screen.
bool popupShown(Display* display) {
    Window root, up, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &up, &children, &count))
        return false;
    bool shown = false;
    for (unsigned int i = 0; i < count && !shown; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes)) {
            shown = attributes.override_redirect && attributes.map_state == IsViewable;
        }
    }
    if (children) XFree(children);
    return shown;
}

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "popup") == 0) {
        Display* display = XOpenDisplay(nullptr);
        if (!display) return 2;
        bool shown = popupShown(display);
        XCloseDisplay(display);
        return shown ? 0 : 1;
    }
    if (argc == 2 && std::strcmp(argv[1], "list") == 0) {
        Display* display = XOpenDisplay(nullptr);
        if (!display) return 2;
        listTitles(display, DefaultRootWindow(display));
        XCloseDisplay(display);
        return 0;
    }
    if (argc < 3) {
        std::fprintf(
            stderr,
            "usage: x11tool list | popup | wait|close|focus TITLE [SECONDS] | shot FILE [TITLE]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "x11tool: cannot open display\n");
        return 2;
    }
    const std::string command = argv[1];
    int status = 1;
    if (command == "shot") {
        Window window = argc > 3 ? waitForWindow(display, argv[3], 10) : 0;
        status = screenshot(display, argv[2], window);
    } else {
        double seconds = argc > 3 ? std::stod(argv[3]) : 10.0;
        Window window = waitForWindow(display, argv[2], seconds);
        if (window == 0) {
            std::fprintf(stderr, "x11tool: no window titled %s\n", argv[2]);
        } else if (command == "wait") {
            std::printf("%lu\n", window);
            status = 0;
        } else if (command == "close") {
            status = closeWindow(display, window);
        } else if (command == "focus") {
            XRaiseWindow(display, window);
            XSetInputFocus(display, window, RevertToParent, CurrentTime);
            XSync(display, False);
            status = 0;
        }
    }
    XCloseDisplay(display);
    return status;
}
