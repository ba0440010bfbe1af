#include "app/ui.hpp"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/data_host.hpp"
#include "common/credential_table.hpp"
#include "common/eui.hpp"
#include "common/release.hpp"
#include "common_tests/known_devices.hpp"
#include "embedded/firmware_image.hpp"
#include "test_services.hpp"

namespace {

using app::Content;
using app::FlashState;

const common::ArticleRevision& target() {
    static const auto parsed = common::parse_article_revision("QZT410HoNO35-TB-P-2.c");
    return *parsed;
}

common::DeviceRecord table_record_with_target_join() {
    const auto& device = common_tests::KNOWN_DEVICES[0];
    return {*rfid::TagUid::from_str(device.tag_uid), *common::Eui::from_str(device.dev_eui),
            *common::article_join_eui(target().article), *common::AppKey::from_str(device.app_key)};
}

base::Error failure(std::string text) { return base::Error{base::ErrorKind::Other, std::move(text)}; }

// Every outside service fails or does nothing at once, so that driving the window into any state runs
// its step without waiting; the tag reader records that it was asked.
app::WorkflowServices quiet_services(int& tag_reads) {
    app::WorkflowServices s = app_tests::test_services();
    s.read_tag_uid = [&tag_reads](std::chrono::nanoseconds) -> base::Result<rfid::TagUid> {
        ++tag_reads;
        return std::unexpected(failure("no tag"));
    };
    s.probe_device = [](common::DeviceKind) -> base::Result<bool> { return std::unexpected(failure("no")); };
    s.remove_firmware_file = []() -> base::Result<void> { return {}; };
    s.prepare_firmware_file = [](std::span<const std::uint8_t>, const common::AppKey&) -> base::Result<void> {
        return std::unexpected(failure("no"));
    };
    s.flash_device = [](common::DeviceKind, std::string_view) -> base::Result<void> {
        return std::unexpected(failure("no"));
    };
    s.export_record = [](const rfid::TagUid&, std::string_view,
                         const common::ArticleRevision&) -> base::Result<void> {
        return std::unexpected(failure("no"));
    };
    s.play_beeps = [](std::uint8_t, std::uint64_t, std::uint64_t) {};
    s.sleep = [](std::chrono::milliseconds) {};
    s.now = [] { return std::chrono::steady_clock::time_point{}; };
    return s;
}

class Window : public ::testing::Test {
  protected:
    void realise(bool rfid_mode = true, std::optional<std::string> csv_error = std::nullopt) {
        auto [data, receiver] = app_tests::station_data();
        receiver_.emplace(std::move(receiver));
        if (csv_error) {
            data.csv_error = *csv_error;
            data.csv_failed = true;
        }
        host_.emplace(std::move(data));
        root_.reset(app::build_ui(app::UiOptions{"KORVEN GmbH", rfid_mode, quiet_services(tag_reads_),
                                                 common::credential_table(), app::firmware_image()})
                        .realise(*host_));
        root_->resize(700, 350);
        root_->show();
    }

    void set_state(FlashState state) {
        host_->data().content.state = std::move(state);
        host_->update_pass();
    }
    [[nodiscard]] const Content& content() const { return host_->data().content; }
    [[nodiscard]] const FlashState& state() const { return content().state; }
    [[nodiscard]] bool eui_entry_showing() const {
        return static_cast<app::ContentEither*>(root_->flash()->eui_entry())->showing() &&
               root_->eui_box()->isVisible();
    }
    [[nodiscard]] bool update_showing() const {
        return static_cast<app::ContentEither*>(root_->flash()->update_button())->showing() &&
               root_->update_device_button()->isVisible();
    }
    [[nodiscard]] bool ok_showing() const {
        return static_cast<app::ContentEither*>(root_->flash()->ok_button())->showing() &&
               root_->ok_button()->isVisible();
    }
    void type(const QString& text) { QTest::keyClicks(root_->eui_box(), text); }
    void click_update_device() { QTest::mouseClick(root_->update_device_button(), Qt::LeftButton); }

    int tag_reads_ = 0;
    std::optional<app::ReportReceiver> receiver_;
    std::optional<app::DataHost> host_;
    std::unique_ptr<app::StationRoot> root_;
};

TEST_F(Window, MainColumn_ShowsTheFixedTextsHeadingAndReminderInTheDarkTheme) {
    realise();
    EXPECT_TRUE(root_->main_panel_showing());
    EXPECT_EQ(root_->customer_label()->text(), "Caldrinex Firmware Update Tool for KORVEN GmbH");
    EXPECT_EQ(root_->heading_label()->text(),
              "Update QZT410HoNO35-TB-P to REV2.c Firmware Version 2024.09.03.00");
    EXPECT_EQ(root_->input_label()->text(), "RFID input using an RFID reader");
    EXPECT_EQ(root_->reminder_label()->text(), "Please keep each device paired with its back cover");

    EXPECT_EQ(root_->palette().color(QPalette::Window), QColor(0x29, 0x29, 0x29));
    for (QLabel* label : {root_->customer_label(), root_->heading_label(), root_->input_label()}) {
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0xF0, 0xF0, 0xEA));
        EXPECT_EQ(label->font().pixelSize(), 15);
        EXPECT_FALSE(label->wordWrap());
    }
    EXPECT_EQ(root_->reminder_label()->palette().color(QPalette::WindowText), QColor(0xFF, 0xFF, 0x00));
    EXPECT_EQ(root_->reminder_label()->font().pixelSize(), 18);
    EXPECT_EQ(root_->reminder_label()->font().weight(), QFont::Bold);
    EXPECT_EQ(root_->scroll()->width(), 500);
    EXPECT_EQ(root_->update_device_button()->text(), "Update Device");
    EXPECT_EQ(root_->ok_button()->text(), "OK");
    EXPECT_EQ(root_->eui_box()->placeholderText(), "Device EUI");
}

TEST_F(Window, MainColumn_StacksItsChildrenFromTheTopCentredWithTheirSpacers) {
    realise();
    const auto centre = [](QWidget* w) { return w->geometry().center().x(); };
    const int middle = root_->main_column()->width() / 2;
    for (QWidget* w : std::vector<QWidget*>{root_->customer_label(), root_->heading_label(),
                                            root_->input_label(), root_->reminder_label(), root_->scroll()})
        EXPECT_NEAR(centre(w), middle, 1) << w->metaObject()->className();
    EXPECT_EQ(root_->customer_label()->y(), 10);
    EXPECT_EQ(root_->heading_label()->y(), root_->customer_label()->geometry().bottom() + 1);
    EXPECT_EQ(root_->reminder_label()->y(), root_->input_label()->geometry().bottom() + 1 + 10);
    EXPECT_EQ(root_->scroll()->y(), root_->reminder_label()->geometry().bottom() + 1 + 20);
    // The panel takes the rest of the height.
    EXPECT_EQ(root_->scroll()->geometry().bottom() + 1, root_->height());
}

struct VisibilityCase {
    const char* name;
    FlashState state;
    bool update_button;
    bool ok_button;
};

void PrintTo(const VisibilityCase& c, std::ostream* os) { *os << c.name; }

class ControlsPerState : public Window, public ::testing::WithParamInterface<VisibilityCase> {};

TEST_P(ControlsPerState, FollowTheStateAndTheEntryOnlyInManualIdle) {
    const auto& c = GetParam();
    for (const bool rfid_mode : {true, false}) {
        realise(rfid_mode);
        set_state(FlashState::Failed{"before"});
        set_state(c.state);
        EXPECT_EQ(update_showing(), c.update_button) << "rfid_mode " << rfid_mode;
        EXPECT_EQ(ok_showing(), c.ok_button) << "rfid_mode " << rfid_mode;
        EXPECT_EQ(eui_entry_showing(), !rfid_mode && c.state.is<FlashState::Idle>())
            << "rfid_mode " << rfid_mode;
        root_.reset();
    }
}

const common::DeviceRecord Record = table_record_with_target_join();

INSTANTIATE_TEST_SUITE_P(
    EveryState, ControlsPerState,
    ::testing::Values(VisibilityCase{"Idle", FlashState::Idle{}, true, false},
                      VisibilityCase{"Start", FlashState::Start{}, false, false},
                      VisibilityCase{"DetectRfid", FlashState::DetectRfid{}, false, false},
                      VisibilityCase{"PlugIn", FlashState::PlugIn{Record}, false, false},
                      VisibilityCase{"DetectDevice", FlashState::DetectDevice{Record}, false, false},
                      VisibilityCase{"Release", FlashState::Release{Record}, false, false},
                      VisibilityCase{"Flashing", FlashState::Flashing{Record}, false, false},
                      VisibilityCase{"ListCredentials", FlashState::ListCredentials{Record.tag_uid}, false,
                                     false},
                      VisibilityCase{"Succeeded", FlashState::Succeeded{}, false, true},
                      VisibilityCase{"Failed", FlashState::Failed{"x"}, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Window, UpdateDeviceInRfidMode_StartsWithoutALookupAndHidesTheButton) {
    realise();
    set_state(FlashState::Idle{"an earlier message"});
    click_update_device();
    EXPECT_TRUE(state().is<FlashState::Start>());
    EXPECT_EQ(content().eui, "");
    EXPECT_EQ(tag_reads_, 0);  // the tag is read by the next step, a turn of the loop later
    EXPECT_FALSE(update_showing());
    EXPECT_FALSE(eui_entry_showing());
}

TEST_F(Window, OkAfterFailed_ClearsTheTextAndShowsUpdateDeviceAgain) {
    realise();
    set_state(FlashState::Failed{"Cannot detect device"});
    QTest::mouseClick(root_->ok_button(), Qt::LeftButton);
    ASSERT_TRUE(state().is<FlashState::Idle>());
    EXPECT_EQ(state().get_if<FlashState::Idle>()->message, "");
    EXPECT_TRUE(update_showing());
    EXPECT_FALSE(ok_showing());
}

TEST_F(Window, TypingInManualMode_SetsTheEuiAndKeepsTheStateIdle) {
    realise(false);
    type("4b-4f");
    EXPECT_EQ(content().eui, "4b-4f");
    EXPECT_TRUE(state().is<FlashState::Idle>());
    EXPECT_TRUE(eui_entry_showing());
}

TEST_F(Window, ManualLookupThatFails_ShowsTheErrorAsTheIdleMessageAndKeepsTheText) {
    struct Case {
        QString typed;
        std::string message;
    };
    const std::vector<Case> cases{
        {"", common::Eui::from_str("").error().message},
        {"4b-4f-52-00-00-00-00-99", "Cannot find 4b-4f-52-00-00-00-00-99"},
        {"not an eui", common::Eui::from_str("not an eui").error().message},
    };
    for (const auto& c : cases) {
        realise(false);
        type(c.typed);
        click_update_device();
        ASSERT_TRUE(state().is<FlashState::Idle>()) << c.typed.toStdString();
        EXPECT_EQ(state().get_if<FlashState::Idle>()->message, c.message);
        EXPECT_EQ(content().eui, c.typed.toStdString());
        EXPECT_EQ(root_->eui_box()->text(), c.typed);
        EXPECT_TRUE(eui_entry_showing());
        EXPECT_EQ(tag_reads_, 0);
        root_.reset();
    }
}

TEST_F(Window, ManualLookupThatFinds_EmptiesTheBoxAndGoesStraightToPlugIn) {
    // Upper case and bare digits are the same EUI: the table is searched for its own text form.
    for (const QString typed : {"4b-4f-52-00-00-00-00-01", "4B-4F-52-00-00-00-00-01", "4b4f520000000001"}) {
        realise(false);
        type(typed);
        click_update_device();
        const auto* plug_in = state().get_if<FlashState::PlugIn>();
        ASSERT_NE(plug_in, nullptr) << typed.toStdString();
        EXPECT_EQ(plug_in->record, Record);
        EXPECT_EQ(content().eui, "");
        EXPECT_EQ(root_->eui_box()->text(), "");
        EXPECT_FALSE(eui_entry_showing());
        EXPECT_FALSE(update_showing());
        EXPECT_EQ(app::state_lines(state())[0]->text, "RFID 04:A1:7C:2B:5D:80:01");
        EXPECT_EQ(tag_reads_, 0);
        root_.reset();
    }
}

TEST(LookupTypedEui, TargetWithoutAJoinEui_FailsOnlyAfterTheTableLookup) {
    const auto no_join = common::parse_article_revision("QZT410HaNO35-44-2.c");
    ASSERT_TRUE(no_join);
    const auto found = app::lookup_typed_eui(*no_join, "4b-4f-52-00-00-00-00-01", common::credential_table());
    ASSERT_FALSE(found);
    EXPECT_EQ(found.error().message, "Unsupported Revision");
    const auto missing =
        app::lookup_typed_eui(*no_join, "4b-4f-52-00-00-00-00-99", common::credential_table());
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message, "Cannot find 4b-4f-52-00-00-00-00-99");
}

TEST_F(Window, CsvCreationFailed_ShowsOnlyTheRedWrappedMessage) {
    const std::string message = "Read-only file system (os error 30)";
    realise(true, message);
    EXPECT_FALSE(root_->main_panel_showing());
    EXPECT_FALSE(root_->main_column()->isVisible());
    EXPECT_FALSE(root_->update_device_button()->isVisible());
    QLabel* error = root_->error_label();
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->text().toStdString(), message);
    EXPECT_EQ(error->palette().color(QPalette::WindowText), QColor(0xFF, 0x00, 0x00));
    EXPECT_EQ(error->font().pixelSize(), 18);
    EXPECT_EQ(error->font().weight(), QFont::Bold);
    EXPECT_TRUE(error->wordWrap());
}

// A text line of a picture: its left and right edges.
struct PaintedLine {
    int left = 0, right = 0;
};

// The lines painted in red, top to bottom, `pitch` pixels apart; the first starts at the topmost red.
std::vector<PaintedLine> red_lines(const QImage& image, int pitch) {
    std::vector<PaintedLine> lines;
    int first_top = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) <= 200 || qGreen(p) >= 60 || qBlue(p) >= 60) continue;
            if (first_top < 0) first_top = y;
            // Some glyphs reach a little above the capitals that start a line.
            const auto index = static_cast<std::size_t>((y - first_top + 2) / pitch);
            while (lines.size() <= index) lines.push_back({image.width(), -1});
            lines[index].left = std::min(lines[index].left, x);
            lines[index].right = std::max(lines[index].right, x);
        }
    }
    return lines;
}

TEST_F(Window, CsvErrorView_CentresTheTextAsOneBlockWhoseLinesStartAtOneLeftEdge) {
    struct Case {
        QSize window;
        std::string message;
        std::size_t painted_lines;  // the text's lines, and more where they wrap
    };
    const std::vector<Case> cases{
        {{700, 350},
         "Cannot create file\nQZT_Device_Credentials_2026-12-11.csv\nNo such file or directory (os error 2)",
         3},
        {{300, 350}, "Cannot create file\nQZT.csv\nNo such file or directory (os error 2)", 4},
    };
    for (const auto& c : cases) {
        realise(true, c.message);
        root_->resize(c.window);
        const QImage shot = root_->grab().toImage();
        const std::vector<PaintedLine> lines =
            red_lines(shot, QFontMetrics(root_->error_label()->font()).lineSpacing());
        ASSERT_EQ(lines.size(), c.painted_lines) << c.window.width();
        int left = shot.width(), right = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            // Glyphs differ a little in where their ink starts.
            EXPECT_NEAR(lines[i].left, lines[0].left, 2) << "line " << i << " at " << c.window.width();
            left = std::min(left, lines[i].left);
            right = std::max(right, lines[i].right);
        }
        EXPECT_NEAR((left + right) / 2, shot.width() / 2, 3) << c.window.width();
        EXPECT_NEAR(root_->error_label()->geometry().center().y(), shot.height() / 2, 1);
        root_.reset();
    }
}

TEST_F(Window, BothViews_ShrinkBelowTheirLabelsWhichOverflowTheWindowInstead) {
    for (const std::optional<std::string>& csv_error :
         {std::optional<std::string>{},
          std::optional<std::string>{"Cannot create file\nQZT.csv\nRead-only"}}) {
        realise(true, csv_error);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        EXPECT_EQ(root_->minimumSize(), QSize(0, 0));
        root_->resize(300, 150);
        EXPECT_EQ(root_->size(), QSize(300, 150));
        root_->resize(1, 1);
        EXPECT_EQ(root_->size(), QSize(1, 1));
        root_.reset();
    }
}

TEST_F(Window, LongFailureText_ScrollsInsteadOfWrapping) {
    realise();
    set_state(FlashState::Failed{std::string(200, 'W') + "\n" + std::string(40, '\n') + "end"});
    EXPECT_GT(root_->flash()->width(), 500);
    EXPECT_GT(root_->scroll()->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(root_->scroll()->verticalScrollBar()->maximum(), 0);
}

}  // namespace
