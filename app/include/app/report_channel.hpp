#pragma once

#include <memory>
#include <optional>
#include <utility>

#include "rfid/tag_uid.hpp"

namespace app {

namespace detail {
struct ReportQueue;
}

// The sending end of the report channel. Every copy is a further handle of the same channel; the
// channel counts as closed for the receiver once the last handle is gone. A default-made sender
// belongs to no channel and sends nowhere.
class ReportSender {
  public:
    ReportSender() = default;
    explicit ReportSender(std::shared_ptr<detail::ReportQueue> queue);
    ReportSender(const ReportSender& other);
    ReportSender(ReportSender&& other) noexcept;
    ReportSender& operator=(const ReportSender& other);
    ReportSender& operator=(ReportSender&& other) noexcept;
    ~ReportSender();

    // Never blocks. False when the receiving end is gone (or there is no channel).
    bool send(const rfid::TagUid& uid) const;

  private:
    void release() noexcept;

    std::shared_ptr<detail::ReportQueue> queue_;
};

// The one receiving end.
class ReportReceiver {
  public:
    explicit ReportReceiver(std::shared_ptr<detail::ReportQueue> queue);
    ReportReceiver(const ReportReceiver&) = delete;
    ReportReceiver& operator=(const ReportReceiver&) = delete;
    ReportReceiver(ReportReceiver&&) noexcept = default;
    ReportReceiver& operator=(ReportReceiver&&) noexcept = default;
    ~ReportReceiver();

    // The oldest queued UID; waits while the queue is empty and a sending handle is left. Absent once
    // the queue is empty and no sending handle is left.
    [[nodiscard]] std::optional<rfid::TagUid> receive();
    // The oldest queued UID, without waiting.
    [[nodiscard]] std::optional<rfid::TagUid> try_receive();

  private:
    std::shared_ptr<detail::ReportQueue> queue_;
};

// An unbounded first-in-first-out channel with one sending handle to start with.
[[nodiscard]] std::pair<ReportSender, ReportReceiver> make_report_channel();

}  // namespace app
