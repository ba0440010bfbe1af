#include "app/flash.hpp"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/commands.hpp"
#include "app/firmware_file.hpp"

namespace app {

namespace {

// The system's own texts of this workflow.
constexpr std::string_view CANNOT_DETECT_DEVICE = "Cannot detect device";
constexpr std::string_view LISTING_FAILED =
    "Flashing succeeded, but application failed to list device in CSV.\nPlease unplug the USB and replace "
    "the "
    "matching device lid.\n";

constexpr std::chrono::seconds TAG_TIMEOUT{60};
constexpr std::chrono::seconds PROBE_INTERVAL{1};
// The polling starts no new probe once this many whole seconds have passed.
constexpr std::chrono::seconds::rep LAST_PROBE_SECOND = 59;

// A payload of the wrong type for its selector is a bug in the program, not an operator's error.
template <class T>
const T& payload_of(const CommandEvent& command) {
    const T* payload = std::get_if<T>(&command.payload());
    if (payload == nullptr) {
        std::fprintf(stderr, "command \"%s\" carries a payload of the wrong type\n",
                     command.selector().c_str());
        std::abort();
    }
    return *payload;
}

}  // namespace

void ContentWidget::update(const Content& /*now*/) {}

QSize ContentWidget::layout_size() const { return {0, 0}; }

Flash::Flash(ContentAccess access, ContentWidget* eui_entry, ContentWidget* update_button,
             ContentWidget* ok_button, std::string_view credential_table,
             std::span<const std::uint8_t> firmware_image, WorkflowServices services, QWidget* parent)
    : QWidget(parent),
      access_(std::move(access)),
      eui_entry_(eui_entry),
      update_button_(update_button),
      ok_button_(ok_button),
      credential_table_(credential_table),
      firmware_image_(firmware_image),
      services_(std::move(services)) {
    for (ContentWidget* child : {eui_entry_, update_button_, ok_button_}) child->setParent(this);
}

bool Flash::event(QEvent* event) {
    if (event->type() == CommandEvent::event_type()) {
        const auto& command = static_cast<const CommandEvent&>(*event);
        if (take_command(command)) {
            access_.changed();
            return true;
        }
        // A command the workflow does not know belongs to the children, in their order.
        for (ContentWidget* child : {eui_entry_, update_button_, ok_button_})
            QCoreApplication::sendEvent(child, event);
        return true;
    }
    return QWidget::event(event);
}

bool Flash::take_command(const CommandEvent& command) {
    const std::string_view selector = command.selector();
    Content& content = access_.content();
    if (selector == DETECT_RFID) {
        content.state = FlashState::DetectRfid{};
    } else if (selector == INSTRUCT_PLUG_IN) {
        content.state = FlashState::PlugIn{payload_of<common::DeviceRecord>(command)};
    } else if (selector == DETECT_DEVICE) {
        content.state = FlashState::DetectDevice{payload_of<common::DeviceRecord>(command)};
    } else if (selector == INSTRUCT_RELEASE) {
        content.state = FlashState::Release{payload_of<common::DeviceRecord>(command)};
    } else if (selector == DEVICE_FLASHING) {
        content.state = FlashState::Flashing{payload_of<common::DeviceRecord>(command)};
    } else if (selector == FLASHING_COMPLETE) {
        const auto& uid = payload_of<rfid::TagUid>(command);
        // The device is flashed: it counts for the report whatever becomes of its CSV row.
        (void)content.report_sender.send(uid);
        content.state = FlashState::ListCredentials{uid};
    } else if (selector == FLASHING_SUCCEEDED) {
        content.state = FlashState::Succeeded{};
    } else if (selector == FLASHING_FAILED) {
        content.state = FlashState::Failed{payload_of<std::string>(command)};
    } else {
        return false;
    }
    return true;
}

void Flash::update(const Content& old, const Content& now) {
    if (!Content::same(now, old)) perform_step(now);
    // The children learn of the new state only after the step, so the OK button comes after the tones.
    for (ContentWidget* child : {eui_entry_, update_button_, ok_button_}) child->update(now);
}

void Flash::perform_step(const Content& now) {
    const FlashState& state = now.state;
    if (state.is<FlashState::Start>()) {
        submit_command(this, DETECT_RFID);
    } else if (state.is<FlashState::DetectRfid>()) {
        show_now();
        detect_rfid(now);
    } else if (const auto* plug_in = state.get_if<FlashState::PlugIn>()) {
        submit_command(this, DETECT_DEVICE, plug_in->record);
    } else if (const auto* detect = state.get_if<FlashState::DetectDevice>()) {
        show_now();
        detect_device(now, detect->record);
    } else if (const auto* release = state.get_if<FlashState::Release>()) {
        submit_command(this, DEVICE_FLASHING, release->record);
    } else if (const auto* flashing = state.get_if<FlashState::Flashing>()) {
        show_now();
        flash(now, flashing->record);
    } else if (const auto* listing = state.get_if<FlashState::ListCredentials>()) {
        show_now();
        list_credentials(now, listing->uid);
    } else if (state.is<FlashState::Succeeded>()) {
        show_now();
        services_.play_beeps(3, 250, 50);
    } else if (state.is<FlashState::Failed>()) {
        show_now();
        services_.play_beeps(1, 750, 0);
    }
}

void Flash::detect_rfid(const Content& now) {
    const auto uid = services_.read_tag_uid(TAG_TIMEOUT);
    if (!uid) return fail(uid.error());
    const common::DeviceKind kind = common::device_kind(now.target.article);
    auto record = services_.find_record_by_tag(kind, *uid, credential_table_);
    if (!record) return fail(record.error());
    const auto join = services_.article_join_eui(now.target.article);
    if (!join) return fail(join.error());
    record->join_eui = *join;
    submit_command(this, INSTRUCT_PLUG_IN, *record);
}

void Flash::detect_device(const Content& now, const common::DeviceRecord& record) {
    using std::chrono::duration_cast;
    using std::chrono::seconds;
    const common::DeviceKind kind = common::device_kind(now.target.article);
    const auto t0 = services_.now();
    bool ready = false;
    while (duration_cast<seconds>(services_.now() - t0).count() <= LAST_PROBE_SECOND) {
        services_.sleep(PROBE_INTERVAL);
        const auto probe = services_.probe_device(kind);
        if (!probe) return fail(probe.error());
        ready = *probe;
        if (ready) break;
    }
    if (!ready) return fail(base::Error{base::ErrorKind::NotFound, std::string(CANNOT_DETECT_DEVICE)});
    submit_command(this, INSTRUCT_RELEASE, record);
}

void Flash::flash(const Content& now, const common::DeviceRecord& record) {
    const common::DeviceKind kind = common::device_kind(now.target.article);
    // A leftover from an earlier run must not be flashed, and the key must not stay on disk: the work
    // file goes before and after, whatever happened in between.
    (void)services_.remove_firmware_file();
    const auto prepared = services_.prepare_firmware_file(firmware_image_, record.app_key);
    base::Result<void> flashed;
    if (prepared) flashed = services_.flash_device(kind, FIRMWARE_FILE);
    (void)services_.remove_firmware_file();
    if (!prepared) return fail(prepared.error());
    if (!flashed) return fail(flashed.error());
    submit_command(this, FLASHING_COMPLETE, record.tag_uid);
}

void Flash::list_credentials(const Content& now, const rfid::TagUid& uid) {
    const auto exported = services_.export_record(uid, credential_table_, now.target);
    if (!exported) {
        submit_command(this, FLASHING_FAILED, std::string(LISTING_FAILED) + exported.error().message);
        return;
    }
    submit_command(this, FLASHING_SUCCEEDED);
}

void Flash::fail(const base::Error& error) { submit_command(this, FLASHING_FAILED, error.message); }

}  // namespace app
