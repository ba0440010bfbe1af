#pragma once

#include <sys/types.h>

#include <algorithm>
#include <optional>
#include <vector>

// Reads windows straight from the X server: a screenshot through import and OCR takes far longer than
// what the figures measure. Xlib's macros stay inside xprobe.cpp.
class XProbe {
  public:
    using Window = unsigned long;

    XProbe();
    ~XProbe();
    XProbe(const XProbe&) = delete;
    XProbe& operator=(const XProbe&) = delete;

    // The viewable top-level window of the process, if it has one yet.
    [[nodiscard]] std::optional<Window> window_of(pid_t pid);

    struct Image {
        int width = 0, height = 0;
        std::vector<unsigned long> pixels;  // 0xRRGGBB

        [[nodiscard]] long count(unsigned long rgb) const {
            return static_cast<long>(std::count(pixels.begin(), pixels.end(), rgb));
        }
    };
    [[nodiscard]] std::optional<Image> grab(Window window);

    // Something was drawn: the middle of the window is no longer the black of an unpainted one.
    [[nodiscard]] bool painted(Window window);

  private:
    std::optional<Window> search(Window window, pid_t pid);
    long pid_of(Window window);

    void* display_;
    unsigned long pid_atom_;
};
