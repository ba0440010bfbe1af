#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <memory>

#include "app/flash.hpp"

namespace app {

namespace {

PanelLine tag_line(const common::DeviceRecord& record) {
    return {"RFID " + record.tag_uid.to_string(), WHITE};
}

QFont line_font() {
    QFont font;
    font.setPixelSize(Flash::FONT_PIXEL_SIZE);
    return font;
}

// One text layout for the whole text. Qt breaks a layout's lines only where it is told to, so each
// line break of the text becomes a line separator; nothing else starts a new line, however wide.
struct MeasuredText {
    std::unique_ptr<QTextLayout> layout;
    qreal width = 0;
    qreal height = 0;
};

constexpr qreal UNBOUNDED_LINE_WIDTH = 1'000'000;

MeasuredText lay_out_text(const std::string& text, const QFont& font) {
    QString qtext = QString::fromStdString(text);
    qtext.replace(QChar('\n'), QChar::LineSeparator);
    MeasuredText measured{std::make_unique<QTextLayout>(qtext, font)};
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    measured.layout->setTextOption(option);
    measured.layout->beginLayout();
    for (QTextLine line = measured.layout->createLine(); line.isValid();
         line = measured.layout->createLine()) {
        // A line is laid out only once it has a width. No wrapping happens at any width, so the width is
        // just large enough never to matter for the layout's own bookkeeping.
        line.setLineWidth(UNBOUNDED_LINE_WIDTH);
        line.setPosition(QPointF(0, measured.height));
        measured.height += line.height();
        measured.width = std::max(measured.width, line.naturalTextWidth());
    }
    measured.layout->endLayout();
    return measured;
}

}  // namespace

QColor qcolor(std::uint32_t rgba) {
    return QColor(static_cast<int>(rgba >> 24), static_cast<int>((rgba >> 16) & 0xFF),
                  static_cast<int>((rgba >> 8) & 0xFF), static_cast<int>(rgba & 0xFF));
}

PanelLines state_lines(const FlashState& state) {
    if (const auto* idle = state.get_if<FlashState::Idle>()) return {PanelLine{idle->message, YELLOW}};
    if (state.is<FlashState::Start>() || state.is<FlashState::DetectRfid>())
        return {PanelLine{"Please place the device cover on the RFID reader.", WHITE}};
    const common::DeviceRecord* waiting = nullptr;
    if (const auto* plug_in = state.get_if<FlashState::PlugIn>()) waiting = &plug_in->record;
    if (const auto* detect = state.get_if<FlashState::DetectDevice>()) waiting = &detect->record;
    if (waiting != nullptr)
        return {tag_line(*waiting),
                PanelLine{"Please plug in the USB, then press and hold the device button.", WHITE},
                PanelLine{"Once plugged in, please leave the USB plugged in!", YELLOW}};
    const common::DeviceRecord* flashing = nullptr;
    if (const auto* release = state.get_if<FlashState::Release>()) flashing = &release->record;
    if (const auto* running = state.get_if<FlashState::Flashing>()) flashing = &running->record;
    if (flashing != nullptr)
        return {tag_line(*flashing), PanelLine{"Thank you, you can now release the device button.", WHITE},
                PanelLine{"Please leave the USB plugged in!", YELLOW}, PanelLine{"Flashing...", WHITE}};
    if (state.is<FlashState::Succeeded>())
        return {PanelLine{"Flashing complete!", GREEN},
                PanelLine{"Please unplug the USB and replace the matching lid.", YELLOW}};
    if (const auto* failed = state.get_if<FlashState::Failed>())
        return {PanelLine{"Flashing failed.", RED}, PanelLine{failed->text, RED}};
    return {};  // ListCredentials shows nothing
}

QSize Flash::layout(const Content& content) {
    const QSize entry = eui_entry_->layout_size();
    const QSize update = update_button_->layout_size();
    const QSize ok = ok_button_->layout_size();
    eui_entry_->setGeometry(QRect(QPoint(0, 0), entry));
    const int buttons_top = entry.height() + GAP;
    update_button_->setGeometry(QRect(QPoint(0, buttons_top), update));
    ok_button_->setGeometry(QRect(QPoint(0, buttons_top), ok));

    qreal width = std::max({entry.width(), update.width(), ok.width()});
    qreal y = buttons_top + std::max(update.height(), ok.height()) + GAP;
    const QFont font = line_font();
    bool first = true;
    for (const auto& line : state_lines(content.state)) {
        if (!line) continue;
        const MeasuredText measured = lay_out_text(line->text, font);
        width = std::max(width, measured.width);
        if (!first) y += GAP;
        y += measured.height;
        first = false;
    }
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(y + GAP))};
}

void Flash::relayout() {
    size_ = layout(access_.content());
    resize(size_);
    updateGeometry();
}

QSize Flash::sizeHint() const { return size_; }

void Flash::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect update = update_button_->geometry();
    const QRect ok = ok_button_->geometry();
    qreal y = std::max(update.y() + update.height(), ok.y() + ok.height()) + GAP;
    const QFont font = line_font();
    for (const auto& line : state_lines(access_.content().state)) {
        if (!line) continue;
        const MeasuredText measured = lay_out_text(line->text, font);
        painter.setPen(qcolor(line->colour));
        measured.layout->draw(&painter, QPointF(0, y));
        y += measured.height + GAP;
    }
    // The children are widgets of their own, painted over the text by Qt after this.
}

void Flash::show_now() {
    relayout();
    if (!isVisible()) return;
    // The scroll area learns of the new size through posted layout requests; take those (and no other
    // event) first, so that the scroll bars match the lines painted before the step blocks.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    window()->repaint();
}

}  // namespace app
