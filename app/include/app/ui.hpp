#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "app/flash.hpp"
#include "app/state.hpp"
#include "app/workflow_services.hpp"
#include "base/error.hpp"
#include "common/article.hpp"
#include "common/record.hpp"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QStackedLayout;

namespace app {

class DataHost;

// The dark theme the window was first drawn with, set explicitly (Qt's own default palette is light).
namespace theme {
inline constexpr std::uint32_t WINDOW_BACKGROUND = 0x292929FF;
inline constexpr std::uint32_t LABEL_COLOUR = 0xF0F0EAFF;
inline constexpr std::uint32_t PLACEHOLDER_COLOUR = 0x808080FF;
inline constexpr std::uint32_t TEXT_BOX_BACKGROUND = 0x3A3A3AFF;
inline constexpr int UI_FONT_PIXEL_SIZE = 15;
inline constexpr int BOLD_FONT_PIXEL_SIZE = 18;
inline constexpr int WIDGET_PADDING_V = 10;
inline constexpr std::uint32_t TEXT_BOX_BORDER = 0x3A3A3AFF;
inline constexpr std::uint32_t TEXT_BOX_FOCUS_BORDER = 0x5CC4FFFF;
inline constexpr std::uint32_t BUTTON_BORDER = 0x3A3A3AFF;
inline constexpr std::uint32_t BUTTON_HOVER_BORDER = 0xA1A1A1FF;
inline constexpr std::uint32_t BUTTON_GRADIENT_TOP = 0x212121FF;
inline constexpr std::uint32_t BUTTON_GRADIENT_BOTTOM = 0x000000FF;
inline constexpr std::uint32_t SCROLL_BAR = 0xFFFFFFB3;  // white at 0.7
inline constexpr std::uint32_t SCROLL_BAR_BORDER = 0x777777FF;
}  // namespace theme

// Predicates, text closures and handlers over the window's data.
[[nodiscard]] bool main_panel_visible(const ExternalUpdate& data);
[[nodiscard]] std::string update_heading_text(const ExternalUpdate& data);
[[nodiscard]] std::string csv_error_text(const ExternalUpdate& data);
[[nodiscard]] bool manual_eui_entry_visible(bool rfid_mode, const Content& data);
[[nodiscard]] bool update_button_visible(const Content& data);
[[nodiscard]] bool ok_button_visible(const Content& data);
void on_update_device(std::string_view credential_table, bool rfid_mode, Content& data);
void on_ok(Content& data);

// The typed device's record with the target's join EUI. The EUI is searched for in its own text form,
// so upper case or bare digits find the same device.
[[nodiscard]] base::Result<common::DeviceRecord> lookup_typed_eui(const common::ArticleRevision& target,
                                                                  std::string_view text,
                                                                  std::string_view table);

// A child of the update panel that shows its widget while a predicate over Content holds, and is an
// empty 0 x 0 box otherwise. The predicate is asked again with every update.
class ContentEither : public ContentWidget {
  public:
    ContentEither(std::function<bool(const Content&)> predicate, QWidget* when_true, QSize fixed = {});

    void update(const Content& now) override;
    [[nodiscard]] QSize layout_size() const override;

    [[nodiscard]] bool showing() const { return showing_; }
    [[nodiscard]] QWidget* child() const { return child_; }

  private:
    std::function<bool(const Content&)> predicate_;
    QWidget* child_;
    QSize fixed_;  // a width or height of its own (0: the child's)
    bool showing_ = false;
};

// A word-wrapped label shown as one block in the middle of the widget: its lines wrap at the widget's
// width and start at one left edge, and the block they make is centred as a whole. Text too wide or
// too tall overflows; it never makes the widget larger.
class CentredBlock : public QWidget {
  public:
    explicit CentredBlock(QLabel* label);

    // Sets the label's text and places the block anew.
    void set_text(const QString& text);
    [[nodiscard]] QSize minimumSizeHint() const override { return {0, 0}; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void place();

    QLabel* label_;
};

// The realised window: the main column or, when the day's CSV file could not be created, the error.
class StationRoot : public QWidget {
  public:
    using QWidget::update;
    // Re-evaluates the predicates and text closures and passes the change on to the panel.
    void update(const ExternalUpdate& old, const ExternalUpdate& now);

    [[nodiscard]] bool main_panel_showing() const;
    [[nodiscard]] QWidget* main_column() const { return main_column_; }
    [[nodiscard]] QLabel* error_label() const { return error_label_; }
    [[nodiscard]] QLabel* customer_label() const { return customer_label_; }
    [[nodiscard]] QLabel* heading_label() const { return heading_label_; }
    [[nodiscard]] QLabel* input_label() const { return input_label_; }
    [[nodiscard]] QLabel* reminder_label() const { return reminder_label_; }
    [[nodiscard]] QScrollArea* scroll() const { return scroll_; }
    [[nodiscard]] Flash* flash() const { return flash_; }
    [[nodiscard]] QLineEdit* eui_box() const { return eui_box_; }
    [[nodiscard]] QPushButton* update_device_button() const { return update_device_button_; }
    [[nodiscard]] QPushButton* ok_button() const { return ok_button_; }

  private:
    friend class UiBuilder;
    StationRoot() = default;

    QStackedLayout* either_ = nullptr;
    QWidget* main_column_ = nullptr;
    CentredBlock* error_view_ = nullptr;
    QLabel* error_label_ = nullptr;
    QLabel* customer_label_ = nullptr;
    QLabel* heading_label_ = nullptr;
    QLabel* input_label_ = nullptr;
    QLabel* reminder_label_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    Flash* flash_ = nullptr;
    QLineEdit* eui_box_ = nullptr;
    QPushButton* update_device_button_ = nullptr;
    QPushButton* ok_button_ = nullptr;
};

// What the tree is built over; the program's values are its build constants.
struct UiOptions {
    std::string customer;
    // True: an update starts by reading the device's NFC tag. False: the operator types the device EUI.
    bool rfid_mode = false;
    WorkflowServices services = {};
    std::string_view credential_table = {};
    std::span<const std::uint8_t> firmware_image = {};
};

// The description of the window's widget tree. Qt makes widgets only once an application object
// exists, so the tree is described at start-up and realised when the window is launched.
class UiBuilder {
  public:
    explicit UiBuilder(UiOptions options);

    // Makes the widgets over the host's data, wires typing, clicks and commands to its update pass
    // and shows the initial data.
    [[nodiscard]] StationRoot* realise(DataHost& host) const;

  private:
    UiOptions options_;
};

[[nodiscard]] UiBuilder build_ui(UiOptions options);

}  // namespace app
