#include "app/report_channel.hpp"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace app::detail {

struct ReportQueue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<rfid::TagUid> items;
    std::size_t senders = 0;
    bool receiver_gone = false;
};

}  // namespace app::detail

namespace app {

using detail::ReportQueue;

namespace {

// Called with the queue's mutex held.
std::optional<rfid::TagUid> pop_oldest(ReportQueue& queue) {
    if (queue.items.empty()) return std::nullopt;
    const rfid::TagUid uid = queue.items.front();
    queue.items.pop_front();
    return uid;
}

}  // namespace

ReportSender::ReportSender(std::shared_ptr<ReportQueue> queue) : queue_(std::move(queue)) {
    if (queue_) {
        const std::lock_guard lock(queue_->mutex);
        ++queue_->senders;
    }
}

ReportSender::ReportSender(const ReportSender& other) : ReportSender(other.queue_) {}

ReportSender::ReportSender(ReportSender&& other) noexcept : queue_(std::move(other.queue_)) {}

ReportSender& ReportSender::operator=(const ReportSender& other) {
    if (this != &other) {
        ReportSender copy(other);
        *this = std::move(copy);
    }
    return *this;
}

ReportSender& ReportSender::operator=(ReportSender&& other) noexcept {
    if (this != &other) {
        release();
        queue_ = std::move(other.queue_);
    }
    return *this;
}

ReportSender::~ReportSender() { release(); }

void ReportSender::release() noexcept {
    if (!queue_) return;
    {
        const std::lock_guard lock(queue_->mutex);
        --queue_->senders;
    }
    // The receiver may be waiting for exactly this: the last handle going away.
    queue_->changed.notify_all();
    queue_.reset();
}

bool ReportSender::send(const rfid::TagUid& uid) const {
    if (!queue_) return false;
    {
        const std::lock_guard lock(queue_->mutex);
        if (queue_->receiver_gone) return false;
        queue_->items.push_back(uid);
    }
    queue_->changed.notify_all();
    return true;
}

ReportReceiver::ReportReceiver(std::shared_ptr<ReportQueue> queue) : queue_(std::move(queue)) {}

ReportReceiver::~ReportReceiver() {
    if (!queue_) return;
    const std::lock_guard lock(queue_->mutex);
    queue_->receiver_gone = true;
    queue_->items.clear();
}

std::optional<rfid::TagUid> ReportReceiver::receive() {
    std::unique_lock lock(queue_->mutex);
    queue_->changed.wait(lock, [&] { return !queue_->items.empty() || queue_->senders == 0; });
    return pop_oldest(*queue_);
}

std::optional<rfid::TagUid> ReportReceiver::try_receive() {
    const std::lock_guard lock(queue_->mutex);
    return pop_oldest(*queue_);
}

std::pair<ReportSender, ReportReceiver> make_report_channel() {
    auto queue = std::make_shared<ReportQueue>();
    return {ReportSender(queue), ReportReceiver(queue)};
}

}  // namespace app
