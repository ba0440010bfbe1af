#include "app/ui.hpp"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/data_host.hpp"
#include "common/eui.hpp"
#include "common/lookup.hpp"
#include "common/release.hpp"

namespace app {

namespace {

constexpr int PANEL_WIDTH = 500;
constexpr int EUI_BOX_WIDTH = 200;
constexpr int REMINDER_SPACING = 20;

QFont ui_font() {
    QFont font;
    font.setPixelSize(theme::UI_FONT_PIXEL_SIZE);
    return font;
}

QFont bold_font() {
    QFont font;
    font.setPixelSize(theme::BOLD_FONT_PIXEL_SIZE);
    font.setWeight(QFont::Bold);
    return font;
}

// A colour in a style sheet's own notation.
QString css(std::uint32_t rgba) {
    const QColor c = qcolor(rgba);
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

// Buttons, the text box and the scroll bars drawn as the window was first drawn. Colours of labels
// come from the palette, so that a label's own colour is one palette entry.
//
// The first toolkit measured a button's label insets (8 across, 2 down) and its least height (24)
// from the outer edge of its 2 px border, and a text box's insets (4) and least width (100) from the
// outer edge of its 1 px border. A style sheet's padding and minimum sizes lie inside the border, so
// the border comes off each: padding 6 and 0 with a least height of 20 for a button, padding 3 and a
// least width of 92 for the text box.
QString style_sheet() {
    using namespace theme;
    return QStringLiteral(R"(
QPushButton {
    color: %1;
    border: 2px solid %2;
    border-radius: 4px;
    padding: 0px 6px;
    min-height: 20px;
    background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 %3, stop: 1 %4);
}
QPushButton:hover { border-color: %5; }
QPushButton:pressed {
    background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 %4, stop: 1 %3);
}
QLineEdit {
    color: %1;
    background: %6;
    border: 1px solid %7;
    border-radius: 2px;
    padding: 3px;
    min-width: 92px;
}
QLineEdit:focus { border-color: %8; }
QScrollArea { background: transparent; border: none; }
QScrollBar:vertical { width: 8px; background: transparent; margin: 0px; }
QScrollBar:horizontal { height: 8px; background: transparent; margin: 0px; }
QScrollBar::handle { background: %9; border: 1px solid %10; border-radius: 4px; }
QScrollBar::handle:vertical { min-height: 16px; }
QScrollBar::handle:horizontal { min-width: 16px; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0px; height: 0px; border: none; background: none; }
QScrollBar::add-page, QScrollBar::sub-page { background: none; }
)")
        .arg(css(LABEL_COLOUR), css(BUTTON_BORDER), css(BUTTON_GRADIENT_TOP), css(BUTTON_GRADIENT_BOTTOM),
             css(BUTTON_HOVER_BORDER), css(TEXT_BOX_BACKGROUND), css(TEXT_BOX_BORDER),
             css(TEXT_BOX_FOCUS_BORDER), css(SCROLL_BAR), css(SCROLL_BAR_BORDER));
}

void apply_theme(QWidget& root) {
    QPalette palette = root.palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, qcolor(theme::WINDOW_BACKGROUND));
        palette.setColor(group, QPalette::WindowText, qcolor(theme::LABEL_COLOUR));
        palette.setColor(group, QPalette::Text, qcolor(theme::LABEL_COLOUR));
        palette.setColor(group, QPalette::ButtonText, qcolor(theme::LABEL_COLOUR));
        palette.setColor(group, QPalette::Base, qcolor(theme::TEXT_BOX_BACKGROUND));
        palette.setColor(group, QPalette::PlaceholderText, qcolor(theme::PLACEHOLDER_COLOUR));
    }
    root.setPalette(palette);
    root.setAutoFillBackground(true);
    root.setFont(ui_font());
    root.setStyleSheet(style_sheet());
}

// Under a style sheet a widget takes the application's palette, not its parent's: each label gets its
// colour itself.
void set_text_colour(QLabel& label, std::uint32_t rgba) {
    QPalette palette = label.palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::WindowText, qcolor(rgba));
    label.setPalette(palette);
}

// A label as the window's toolkit draws one: 2 px on either side, plain text, long lines overflowing.
QLabel* make_label(const QString& text) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setContentsMargins(2, 0, 2, 0);
    set_text_colour(*label, theme::LABEL_COLOUR);
    return label;
}

}  // namespace

bool main_panel_visible(const ExternalUpdate& data) { return !data.csv_failed; }

std::string update_heading_text(const ExternalUpdate& data) {
    const common::ArticleRevision& target = data.content.target;
    return "Update " + std::string(common::to_string(target.article)) + " to REV" +
           target.revision.to_string() + " Firmware Version " + data.firmware_version;
}

std::string csv_error_text(const ExternalUpdate& data) { return data.csv_error; }

bool manual_eui_entry_visible(bool rfid_mode, const Content& data) {
    return !rfid_mode && data.state.is<FlashState::Idle>();
}

bool update_button_visible(const Content& data) { return data.state.is<FlashState::Idle>(); }

bool ok_button_visible(const Content& data) {
    return data.state.is<FlashState::Succeeded>() || data.state.is<FlashState::Failed>();
}

void on_update_device(std::string_view credential_table, bool rfid_mode, Content& data) {
    if (rfid_mode) {
        data.state = FlashState::Start{};
        return;
    }
    auto record = lookup_typed_eui(data.target, data.eui, credential_table);
    if (!record) {
        // The typed text stays, so the operator can correct it.
        data.state = FlashState::Idle{record.error().message};
        return;
    }
    data.eui.clear();
    data.state = FlashState::PlugIn{*std::move(record)};
}

void on_ok(Content& data) { data.state = FlashState::Idle{}; }

base::Result<common::DeviceRecord> lookup_typed_eui(const common::ArticleRevision& target,
                                                    std::string_view text, std::string_view table) {
    const auto eui = common::Eui::from_str(text);
    if (!eui) return std::unexpected(eui.error());
    const common::DeviceKind kind = common::device_kind(target.article);
    auto record = common::find_record_by_eui(kind, *eui, table);
    if (!record) return std::unexpected(record.error());
    const auto join = common::article_join_eui(target.article);
    if (!join) return std::unexpected(join.error());
    record->join_eui = *join;
    return record;
}

ContentEither::ContentEither(std::function<bool(const Content&)> predicate, QWidget* when_true, QSize fixed)
    : predicate_(std::move(predicate)), child_(when_true), fixed_(fixed) {
    child_->setParent(this);
    auto* fill = new QVBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(child_);
    setVisible(false);
}

void ContentEither::update(const Content& now) {
    showing_ = predicate_(now);
    setVisible(showing_);
}

QSize ContentEither::layout_size() const {
    if (!showing_) return {0, 0};
    const QSize hint = child_->sizeHint();
    return {fixed_.width() > 0 ? fixed_.width() : hint.width(),
            fixed_.height() > 0 ? fixed_.height() : hint.height()};
}

CentredBlock::CentredBlock(QLabel* label) : label_(label) {
    label_->setParent(this);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label_->setWordWrap(true);
}

void CentredBlock::set_text(const QString& text) {
    label_->setText(text);
    place();
}

void CentredBlock::resizeEvent(QResizeEvent* /*event*/) { place(); }

void CentredBlock::place() {
    // The label wraps its plain text where Qt's text drawing does: measured the same way, the widest
    // line at this width is the block's width. A word wider than the widget is cut at its edge.
    const QMargins margins = label_->contentsMargins();
    const int wrap_width = std::max(0, width() - margins.left() - margins.right());
    constexpr int UNBOUNDED_HEIGHT = 1 << 20;
    const QRect text = label_->fontMetrics().boundingRect(QRect(0, 0, wrap_width, UNBOUNDED_HEIGHT),
                                                          Qt::AlignLeft | Qt::TextWordWrap, label_->text());
    const QSize block = QSize(std::min(text.width(), wrap_width), text.height()).grownBy(margins);
    label_->setGeometry(
        QRect(QPoint((width() - block.width()) / 2, std::max(0, (height() - block.height()) / 2)), block));
}

void StationRoot::update(const ExternalUpdate& old, const ExternalUpdate& now) {
    const bool main = main_panel_visible(now);
    either_->setCurrentWidget(main ? main_column_ : static_cast<QWidget*>(error_view_));
    if (!main) {
        error_view_->set_text(QString::fromStdString(csv_error_text(now)));
        return;
    }
    heading_label_->setText(QString::fromStdString(update_heading_text(now)));
    flash_->update(old.content, now.content);
    // The text box shows the data's eui: it is emptied when a typed EUI was found.
    const QString eui = QString::fromStdString(now.content.eui);
    if (eui_box_->text() != eui) eui_box_->setText(eui);
}

bool StationRoot::main_panel_showing() const { return either_->currentWidget() == main_column_; }

UiBuilder::UiBuilder(UiOptions options) : options_(std::move(options)) {}

StationRoot* UiBuilder::realise(DataHost& host) const {
    auto* root = new StationRoot;
    apply_theme(*root);
    root->either_ = new QStackedLayout(root);
    // Labels overflow a small window rather than keep it from shrinking: the window has no minimum
    // size of its own.
    root->either_->setSizeConstraint(QLayout::SetNoConstraint);

    root->main_column_ = new QWidget;
    auto* column = new QVBoxLayout(root->main_column_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // Nor the column one: it gets the window's size however small, and its labels are cut at its edge.
    column->setSizeConstraint(QLayout::SetNoConstraint);
    column->addSpacing(theme::WIDGET_PADDING_V);
    root->customer_label_ = make_label(QStringLiteral("Caldrinex Firmware Update Tool for ") +
                                       QString::fromStdString(options_.customer));
    column->addWidget(root->customer_label_, 0, Qt::AlignHCenter);
    root->heading_label_ = make_label({});
    column->addWidget(root->heading_label_, 0, Qt::AlignHCenter);
    root->input_label_ = make_label(QStringLiteral("RFID input using an RFID reader"));
    column->addWidget(root->input_label_, 0, Qt::AlignHCenter);
    column->addSpacing(theme::WIDGET_PADDING_V);
    root->reminder_label_ = make_label(QStringLiteral("Please keep each device paired with its back cover"));
    set_text_colour(*root->reminder_label_, YELLOW);
    root->reminder_label_->setFont(bold_font());
    column->addWidget(root->reminder_label_, 0, Qt::AlignHCenter);
    column->addSpacing(REMINDER_SPACING);

    const ContentAccess access{[&host]() -> Content& { return host.data().content; },
                               [&host] { host.update_pass(); }};

    root->eui_box_ = new QLineEdit;
    root->eui_box_->setPlaceholderText(QStringLiteral("Device EUI"));
    QObject::connect(root->eui_box_, &QLineEdit::textEdited, root->eui_box_, [access](const QString& text) {
        access.content().eui = text.toStdString();
        access.changed();
    });
    const bool rfid_mode = options_.rfid_mode;
    auto* eui_entry = new ContentEither(
        [rfid_mode](const Content& data) { return manual_eui_entry_visible(rfid_mode, data); },
        root->eui_box_, QSize(EUI_BOX_WIDTH, 0));

    root->update_device_button_ = new QPushButton(QStringLiteral("Update Device"));
    const std::string_view table = options_.credential_table;
    QObject::connect(root->update_device_button_, &QPushButton::clicked, root->update_device_button_,
                     [access, table, rfid_mode] {
                         on_update_device(table, rfid_mode, access.content());
                         access.changed();
                     });
    auto* update_button = new ContentEither(update_button_visible, root->update_device_button_);

    root->ok_button_ = new QPushButton(QStringLiteral("OK"));
    QObject::connect(root->ok_button_, &QPushButton::clicked, root->ok_button_, [access] {
        on_ok(access.content());
        access.changed();
    });
    auto* ok_button = new ContentEither(ok_button_visible, root->ok_button_);

    root->flash_ = new Flash(access, eui_entry, update_button, ok_button, table, options_.firmware_image,
                             options_.services);
    root->scroll_ = new QScrollArea;
    root->scroll_->setFixedWidth(PANEL_WIDTH);
    root->scroll_->setFrameShape(QFrame::NoFrame);
    root->scroll_->setWidgetResizable(false);
    root->scroll_->setWidget(root->flash_);
    root->scroll_->viewport()->setAutoFillBackground(false);
    root->flash_->setAutoFillBackground(false);
    column->addWidget(root->scroll_, 1, Qt::AlignHCenter);

    root->error_label_ = make_label({});
    root->error_label_->setFont(bold_font());
    set_text_colour(*root->error_label_, RED);
    root->error_view_ = new CentredBlock(root->error_label_);

    root->either_->addWidget(root->main_column_);
    root->either_->addWidget(root->error_view_);

    host.set_root_update(
        [root](const ExternalUpdate& old, const ExternalUpdate& now) { root->update(old, now); });
    host.add_after_pass([root] {
        root->flash()->relayout();
        root->update();
    });
    // The first look at the data: no step runs (nothing changed), the predicates and texts are applied.
    root->update(host.data(), host.data());
    root->flash_->relayout();
    return root;
}

UiBuilder build_ui(UiOptions options) { return UiBuilder(std::move(options)); }

}  // namespace app
