#include <gtest/gtest.h>

#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/data_host.hpp"
#include "app/flash.hpp"
#include "app/ui.hpp"
#include "common/credential_table.hpp"
#include "common_tests/known_devices.hpp"
#include "embedded/firmware_image.hpp"
#include "test_services.hpp"

namespace {

using app::Content;
using app::FlashState;
using app::PanelLine;
using app::PanelLines;

common::DeviceRecord table_record() {
    const auto& device = common_tests::KNOWN_DEVICES[0];
    return {*rfid::TagUid::from_str(device.tag_uid), *common::Eui::from_str(device.dev_eui),
            *common::Eui::from_str(device.join_eui), *common::AppKey::from_str(device.app_key)};
}

const std::string TAG_LINE = "RFID 04:A1:7C:2B:5D:80:01";

// ---------------------------------------------------------------------------------------------------
// What the panel says in each state.

struct LinesCase {
    const char* name;
    FlashState state;
    std::vector<PanelLine> lines;
};

void PrintTo(const LinesCase& c, std::ostream* os) { *os << c.name; }

class StateLines : public ::testing::TestWithParam<LinesCase> {};

TEST_P(StateLines, GiveTheStatesTextsAndColoursInSlotOrder) {
    const auto& c = GetParam();
    const PanelLines lines = app::state_lines(c.state);
    std::vector<PanelLine> occupied;
    bool gap = false;
    for (const auto& line : lines) {
        if (!line) {
            gap = true;
            continue;
        }
        EXPECT_FALSE(gap) << "an occupied slot after an empty one";
        occupied.push_back(*line);
    }
    EXPECT_EQ(occupied, c.lines);
}

const PanelLine CoverLine{"Please place the device cover on the RFID reader.", app::WHITE};
const std::vector<PanelLine> PlugInLines{
    {TAG_LINE, app::WHITE},
    {"Please plug in the USB, then press and hold the device button.", app::WHITE},
    {"Once plugged in, please leave the USB plugged in!", app::YELLOW}};
const std::vector<PanelLine> ReleaseLines{{TAG_LINE, app::WHITE},
                                          {"Thank you, you can now release the device button.", app::WHITE},
                                          {"Please leave the USB plugged in!", app::YELLOW},
                                          {"Flashing...", app::WHITE}};

INSTANTIATE_TEST_SUITE_P(
    EveryState, StateLines,
    ::testing::Values(LinesCase{"IdleEmpty", FlashState::Idle{}, {{"", app::YELLOW}}},
                      LinesCase{"IdleMessage",
                                FlashState::Idle{"Cannot find 4b-4f-52-00-00-00-00-99"},
                                {{"Cannot find 4b-4f-52-00-00-00-00-99", app::YELLOW}}},
                      LinesCase{"Start", FlashState::Start{}, {CoverLine}},
                      LinesCase{"DetectRfid", FlashState::DetectRfid{}, {CoverLine}},
                      LinesCase{"PlugIn", FlashState::PlugIn{table_record()}, PlugInLines},
                      LinesCase{"DetectDevice", FlashState::DetectDevice{table_record()}, PlugInLines},
                      LinesCase{"Release", FlashState::Release{table_record()}, ReleaseLines},
                      LinesCase{"Flashing", FlashState::Flashing{table_record()}, ReleaseLines},
                      LinesCase{"ListCredentials", FlashState::ListCredentials{table_record().tag_uid}, {}},
                      LinesCase{"Succeeded",
                                FlashState::Succeeded{},
                                {{"Flashing complete!", app::GREEN},
                                 {"Please unplug the USB and replace the matching lid.", app::YELLOW}}},
                      LinesCase{"FailedKeepsLineBreaks",
                                FlashState::Failed{"first\nsecond\n"},
                                {{"Flashing failed.", app::RED}, {"first\nsecond\n", app::RED}}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------------
// Geometry.

// A child of a fixed size, visible or not as the case needs.
class Box : public app::ContentWidget {
  public:
    explicit Box(QSize size) : size_(size) {}
    [[nodiscard]] QSize layout_size() const override { return size_; }

  private:
    QSize size_;
};

// The panel's texts are 18 px in the default family. The number is written here, not taken from the
// panel, so that the geometry below measures what the panel must show.
QFont line_font() {
    QFont font;
    font.setPixelSize(18);
    return font;
}

// What the text engine reports for a text in the panel's font: the widest visual line and the sum of
// their heights.
QSizeF measure(const QString& text) {
    QString separated = text;
    separated.replace(QChar('\n'), QChar::LineSeparator);
    QTextLayout layout(separated, line_font());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    QSizeF size(0, 0);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(100000);
        size.setWidth(std::max(size.width(), line.naturalTextWidth()));
        size.setHeight(size.height() + line.height());
    }
    layout.endLayout();
    return size;
}

qreal line_height() { return measure("Flashing...").height(); }
qreal text_width(const QString& text) { return measure(text).width(); }

class Panel : public ::testing::Test {
  protected:
    void build(QSize entry = {0, 0}, QSize update = {0, 0}, QSize ok = {0, 0}) {
        flash_ = std::make_unique<app::Flash>(
            app::ContentAccess{[this]() -> Content& { return content_; }, [] {}}, new Box(entry),
            new Box(update), new Box(ok), common::credential_table(), app::firmware_image(),
            app_tests::test_services());
    }

    QSize layout(FlashState state) {
        content_.state = std::move(state);
        return flash_->layout(content_);
    }

    // The panel painted over the window's background, children excluded.
    QImage paint(FlashState state) {
        content_.state = std::move(state);
        flash_->relayout();
        QImage image(flash_->size(), QImage::Format_ARGB32);
        image.fill(QColor(0x29, 0x29, 0x29));
        flash_->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }

    Content content_;
    std::unique_ptr<app::Flash> flash_;
};

// The panel's sizes are whole pixels, rounded up from the measured text.
int up(qreal value) { return static_cast<int>(std::ceil(value)); }

TEST_F(Panel, ReleaseWithoutChildren_StacksFourLinesTwentyApartFromForty) {
    build();
    const qreal h = line_height();
    const QSize size = layout(FlashState::Release{table_record()});
    EXPECT_EQ(size.height(), up(40 + 4 * h + 60 + 20));
    EXPECT_NEAR(size.width(), text_width("Thank you, you can now release the device button."), 1.0);
    // Flashing shows the same lines, so it measures the same.
    EXPECT_EQ(layout(FlashState::Flashing{table_record()}), size);
}

TEST_F(Panel, IdleWithTheButton_PutsTheMessageTwentyBelowTheButton) {
    build({0, 0}, {120, 24}, {0, 0});
    const qreal h = line_height();
    const QSize size = layout(FlashState::Idle{"Cannot find 4b-4f-52-00-00-00-00-99"});
    EXPECT_EQ(size.height(), up(24 + 40 + h + 20));
    EXPECT_NEAR(size.width(), text_width("Cannot find 4b-4f-52-00-00-00-00-99"), 1.0);
}

TEST_F(Panel, IdleWithAnEmptyMessage_StillCountsOneLineOfEmptyText) {
    build({0, 0}, {120, 24}, {0, 0});
    const QSize size = layout(FlashState::Idle{});
    const qreal empty_height = measure("").height();
    EXPECT_GT(empty_height, 0);
    EXPECT_EQ(size.height(), up(24 + 40 + empty_height + 20));
    EXPECT_EQ(size.width(), 120);
}

TEST_F(Panel, ListCredentials_IsTheChildrenAndTheGapsOnly) {
    build({0, 0}, {100, 30}, {50, 40});
    EXPECT_EQ(layout(FlashState::ListCredentials{table_record().tag_uid}), QSize(100, 0 + 20 + 40 + 20 + 20));
}

TEST_F(Panel, ChildrenArePlacedAtTheTopAndBothButtonsBelowTheEntry) {
    build({200, 26}, {120, 24}, {40, 24});
    (void)layout(FlashState::Idle{});
    EXPECT_EQ(flash_->eui_entry()->geometry(), QRect(0, 0, 200, 26));
    EXPECT_EQ(flash_->update_button()->geometry(), QRect(0, 46, 120, 24));
    EXPECT_EQ(flash_->ok_button()->geometry(), QRect(0, 46, 40, 24));
}

TEST_F(Panel, FailureTextOfSeveralLines_IsOneLayoutAsWideAsItsLongestLine) {
    build({0, 0}, {0, 0}, {40, 24});
    const QString longest = "a second line that is a good deal longer than the rest of them";
    const QSize size = layout(FlashState::Failed{"short\n" + longest.toStdString() + "\nend"});
    const qreal h = line_height();
    EXPECT_EQ(size.height(), up(24 + 40 + h + 20 + 3 * h + 20));
    EXPECT_NEAR(size.width(), text_width(longest), 1.0);
}

TEST_F(Panel, LineLongerThanTheWindow_IsNeitherWrappedNorClamped) {
    build();
    const std::string wide(300, 'W');
    const QSize size = layout(FlashState::Failed{wide});
    EXPECT_NEAR(size.width(), text_width(QString::fromStdString(wide)), 1.0);
    EXPECT_GT(size.width(), 2000);
    EXPECT_EQ(size.height(), up(40 + 2 * line_height() + 20 + 20));
}

// ---------------------------------------------------------------------------------------------------
// Picture: every line's colour lies in its own band and nowhere else.

enum class Tone { None, White, Yellow, Green, Red };

void PrintTo(Tone tone, std::ostream* os) {
    constexpr const char* names[] = {"none", "white", "yellow", "green", "red"};
    *os << names[static_cast<int>(tone)];
}

// Only the pixels drawn at full strength count: anti-aliased edges blend with the background. A
// channel counts as high above `high` and as low below 255 - `high`.
Tone tone_of(QRgb pixel, int high = 200) {
    const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
    const int low = 255 - high;
    const bool high_r = r > high, high_g = g > high, high_b = b > high, low_g = g < low, low_b = b < low,
               low_r = r < low;
    if (high_r && high_g && high_b) return Tone::White;
    if (high_r && high_g && low_b) return Tone::Yellow;
    if (low_r && high_g && low_b) return Tone::Green;
    if (high_r && low_g && low_b) return Tone::Red;
    return Tone::None;
}

Tone tone_of_line_colour(std::uint32_t rgba) { return tone_of(app::qcolor(rgba).rgb()); }

struct PictureCase {
    const char* name;
    FlashState state;
    int text_lines_in_second = 1;  // visual lines of the second line
};

void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }

class PanelPicture : public Panel, public ::testing::WithParamInterface<PictureCase> {};

TEST_P(PanelPicture, EachLinesColourLiesInItsBandAndNowhereElse) {
    const auto& c = GetParam();
    build();
    const QImage image = paint(c.state);
    const qreal h = line_height();

    // The bands from the first-line top (40 with empty children), 20 apart.
    struct Band {
        int top, bottom;
        Tone tone;
    };
    std::vector<Band> bands;
    qreal y = 40;
    int index = 0;
    for (const auto& line : app::state_lines(c.state)) {
        if (!line) continue;
        const qreal height = h * (index == 1 ? c.text_lines_in_second : 1);
        bands.push_back({static_cast<int>(std::floor(y)), static_cast<int>(std::ceil(y + height)),
                         tone_of_line_colour(line->colour)});
        y += height + 20;
        ++index;
    }

    std::vector<int> hits(bands.size(), 0);
    for (int row = 0; row < image.height(); ++row) {
        for (int col = 0; col < image.width(); ++col) {
            const Tone tone = tone_of(image.pixel(col, row));
            if (tone == Tone::None) continue;
            bool placed = false;
            for (std::size_t b = 0; b < bands.size(); ++b) {
                if (row >= bands[b].top && row < bands[b].bottom) {
                    EXPECT_EQ(tone, bands[b].tone) << "pixel " << col << "," << row << " in band " << b;
                    ++hits[b];
                    placed = true;
                }
            }
            EXPECT_TRUE(placed) << "coloured pixel outside every line at " << col << "," << row;
            if (::testing::Test::HasFailure()) return;
        }
    }
    for (std::size_t b = 0; b < bands.size(); ++b) EXPECT_GT(hits[b], 20) << "band " << b << " is empty";
}

INSTANTIATE_TEST_SUITE_P(
    ColouredStates, PanelPicture,
    ::testing::Values(PictureCase{"IdleMessage", FlashState::Idle{"Cannot find 4b-4f-52-00-00-00-00-99"}},
                      PictureCase{"PlugIn", FlashState::PlugIn{table_record()}},
                      PictureCase{"Flashing", FlashState::Flashing{table_record()}},
                      PictureCase{"Succeeded", FlashState::Succeeded{}},
                      PictureCase{"FailedOverThreeLines", FlashState::Failed{"one\ntwo\nthree"}, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------------
// On screen before each blocking step. Every step blocks the GUI thread, so what the operator sees
// while it runs is what was painted before it began: each service double captures the window's
// painted surface (not a fresh rendering) while it "blocks".

// The panel's lines as painted in an area, top to bottom: one tone per line, from its pixels drawn
// in one of the panel's colours, exactly; the buttons' label colour #f0f0ea is not among them.
std::vector<Tone> painted_lines(const QImage& image, const QRect& area) {
    std::vector<Tone> lines;
    std::vector<int> counts(5, 0);
    int empty_rows = 0;
    const auto end_line = [&] {
        const auto most = std::max_element(counts.begin() + 1, counts.end());
        if (*most > 0) lines.push_back(static_cast<Tone>(most - counts.begin()));
        std::fill(counts.begin(), counts.end(), 0);
    };
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        bool coloured = false;
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const Tone tone = tone_of(image.pixel(x, y), 249);
            if (tone == Tone::None) continue;
            ++counts[static_cast<std::size_t>(tone)];
            coloured = true;
        }
        empty_rows = coloured ? 0 : empty_rows + 1;
        // The panel leaves 20 between its lines; a glyph's own gaps are far smaller.
        if (empty_rows == 10) end_line();
    }
    end_line();
    return lines;
}

class OnScreen : public ::testing::Test {
  protected:
    // The window over one device's update; a failing flashing takes it to Failed.
    void run_update(bool flashing_fails) {
        auto [data, receiver] = app_tests::station_data();
        receiver_.emplace(std::move(receiver));
        host_.emplace(std::move(data));

        app::WorkflowServices s = app_tests::test_services();
        s.read_tag_uid = [this](std::chrono::nanoseconds) -> base::Result<rfid::TagUid> {
            capture("read_tag_uid");
            return table_record().tag_uid;
        };
        s.find_record_by_tag = [](common::DeviceKind, const rfid::TagUid&,
                                  std::string_view) -> base::Result<common::DeviceRecord> {
            return table_record();
        };
        s.article_join_eui = [](common::Article) -> base::Result<common::Eui> {
            return table_record().join_eui;
        };
        s.now = [] { return std::chrono::steady_clock::time_point{}; };
        s.sleep = [](std::chrono::milliseconds) {};
        s.probe_device = [this](common::DeviceKind) -> base::Result<bool> {
            capture("probe_device");
            return true;
        };
        s.remove_firmware_file = []() -> base::Result<void> { return {}; };
        s.prepare_firmware_file = [](std::span<const std::uint8_t>,
                                     const common::AppKey&) -> base::Result<void> { return {}; };
        s.flash_device = [this, flashing_fails](common::DeviceKind, std::string_view) -> base::Result<void> {
            capture("flash_device");
            if (flashing_fails)
                return std::unexpected(
                    base::Error{base::ErrorKind::Other, "Error: Download verification failed"});
            return {};
        };
        s.export_record = [this](const rfid::TagUid&, std::string_view,
                                 const common::ArticleRevision&) -> base::Result<void> {
            capture("export_record");
            return {};
        };
        s.play_beeps = [this](std::uint8_t, std::uint64_t, std::uint64_t) { capture("play_beeps"); };

        root_.reset(app::build_ui(app::UiOptions{"KORVEN GmbH", true, std::move(s)}).realise(*host_));
        root_->resize(700, 350);
        root_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(root_.get()));
        QTest::mouseClick(root_->update_device_button(), Qt::LeftButton);
        const auto ended = [this] {
            const auto& state = host_->data().content.state;
            return state.is<FlashState::Succeeded>() || state.is<FlashState::Failed>();
        };
        for (int turn = 0; turn < 100 && !ended(); ++turn) QCoreApplication::processEvents();
        ASSERT_TRUE(ended());
    }

    // The window as last painted, and the lines in the panel's part of it.
    void capture(const std::string& service) {
        const QImage shot = root_->screen()->grabWindow(root_->winId()).toImage();
        QWidget* viewport = root_->scroll()->viewport();
        seen_.emplace_back(service, shot.isNull()
                                        ? std::vector<Tone>{Tone::None}
                                        : painted_lines(shot, QRect(viewport->mapTo(root_.get(), QPoint()),
                                                                    viewport->size())));
    }

    std::vector<std::pair<std::string, std::vector<Tone>>> seen_;
    std::optional<app::ReportReceiver> receiver_;
    std::optional<app::DataHost> host_;
    std::unique_ptr<app::StationRoot> root_;
};

TEST_F(OnScreen, EachBlockingStepRunsWithItsStatesLinesAlreadyPainted) {
    using enum Tone;
    run_update(false);
    const std::vector<std::pair<std::string, std::vector<Tone>>> expected{
        {"read_tag_uid", {White}},                        // the cover on the reader
        {"probe_device", {White, White, Yellow}},         // tag, plug in and hold, leave it plugged in
        {"flash_device", {White, White, Yellow, White}},  // tag, release, leave it plugged in, flashing
        {"export_record", {}},                            // nothing while listing
        {"play_beeps", {Green, Yellow}},                  // complete, unplug and replace the lid
    };
    ASSERT_EQ(seen_.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(seen_[i].first, expected[i].first);
        EXPECT_EQ(seen_[i].second, expected[i].second) << "while " << seen_[i].first;
    }
}

TEST_F(OnScreen, FailureTonePlaysWithTheFailureLinesAlreadyPainted) {
    using enum Tone;
    run_update(true);
    ASSERT_FALSE(seen_.empty());
    EXPECT_EQ(seen_.back().first, "play_beeps");
    EXPECT_EQ(seen_.back().second, (std::vector<Tone>{Red, Red}));
}

}  // namespace
