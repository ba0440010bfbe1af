#pragma once

#include <QColor>
#include <QSize>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/state.hpp"
#include "app/workflow_services.hpp"
#include "base/error.hpp"

namespace app {

class CommandEvent;

// A child of the update panel: a widget over Content that learns of every data change after the
// panel's step.
class ContentWidget : public QWidget {
  public:
    using QWidget::QWidget;
    using QWidget::update;

    virtual void update(const Content& now);
    // The size it takes; an empty child takes none.
    [[nodiscard]] virtual QSize layout_size() const;
};

// How a widget reaches the Content it works on, and how it reports that it changed it.
struct ContentAccess {
    std::function<Content&()> content;
    std::function<void()> changed;  // runs the update pass
};

// One text line of the panel. Colours are 0xRRGGBBAA.
struct PanelLine {
    std::string text;
    std::uint32_t colour = 0;

    bool operator==(const PanelLine&) const = default;
};

inline constexpr std::uint32_t WHITE = 0xFFFFFFFF;
inline constexpr std::uint32_t YELLOW = 0xFFFF00FF;
inline constexpr std::uint32_t GREEN = 0x00FF00FF;
inline constexpr std::uint32_t RED = 0xFF0000FF;

// A 0xRRGGBBAA colour as Qt takes it.
[[nodiscard]] QColor qcolor(std::uint32_t rgba);

// Up to four lines, occupied slots first.
using PanelLines = std::array<std::optional<PanelLine>, 4>;

// What the panel says in a state.
[[nodiscard]] PanelLines state_lines(const FlashState& state);

// The update panel: it runs one device update at a time as a state machine over Content.state. Its
// update performs a state's step once per entry into the state and ends every step by submitting the
// next command to itself; its event handling takes those commands and sets the state.
class Flash : public QWidget {
  public:
    inline static constexpr int GAP = 20;
    inline static constexpr int FONT_PIXEL_SIZE = 18;

    // The children become the panel's own; the table and image are borrowed for the panel's life.
    Flash(ContentAccess access, ContentWidget* eui_entry, ContentWidget* update_button,
          ContentWidget* ok_button, std::string_view credential_table,
          std::span<const std::uint8_t> firmware_image, WorkflowServices services = {},
          QWidget* parent = nullptr);

    using QWidget::update;
    // Performs the step of now.state when the content is not the same as before, then updates the
    // children. Never changes the data.
    void update(const Content& old, const Content& now);

    // Sizes and places the children and measures the lines of the state; the size is not clamped.
    [[nodiscard]] QSize layout(const Content& content);
    // Lays the panel out again from the current data and takes the new size.
    void relayout();

    [[nodiscard]] QSize sizeHint() const override;

    [[nodiscard]] ContentWidget* eui_entry() const { return eui_entry_; }
    [[nodiscard]] ContentWidget* update_button() const { return update_button_; }
    [[nodiscard]] ContentWidget* ok_button() const { return ok_button_; }

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    // True when the command was one of the workflow's and set the state.
    bool take_command(const CommandEvent& command);
    void perform_step(const Content& now);
    void detect_rfid(const Content& now);
    void detect_device(const Content& now, const common::DeviceRecord& record);
    void flash(const Content& now, const common::DeviceRecord& record);
    void list_credentials(const Content& now, const rfid::TagUid& uid);
    void fail(const base::Error& error);
    // Relays out and repaints the window at once, so that the state's lines are on screen before a
    // step blocks the GUI thread.
    void show_now();

    ContentAccess access_;
    ContentWidget* eui_entry_;
    ContentWidget* update_button_;
    ContentWidget* ok_button_;
    std::string_view credential_table_;
    std::span<const std::uint8_t> firmware_image_;
    WorkflowServices services_;
    QSize size_;
};

}  // namespace app
