#include "app/startup.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QSocketNotifier>
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "app/data_host.hpp"
#include "common/credentials_csv.hpp"
#include "common/release.hpp"
#include "stop_signals.hpp"

namespace app {

namespace {

// While Qt starts, its messages are held back: when it gives up (a fatal message, after which Qt would
// abort), they are the launch's error; when it starts, they go to the handler that was there before.
class LaunchMessages {
  public:
    LaunchMessages() { previous_ = qInstallMessageHandler(&LaunchMessages::handle); }
    ~LaunchMessages() { stop(); }
    LaunchMessages(const LaunchMessages&) = delete;
    LaunchMessages& operator=(const LaunchMessages&) = delete;

    void stop() {
        if (previous_installed_) return;
        previous_installed_ = true;
        qInstallMessageHandler(previous_);
        for (const auto& held : held_messages())
            qt_message_output(
                held.type, QMessageLogContext(held.file, held.line, held.function, held.category), held.text);
        held_messages().clear();
    }

  private:
    // The context's strings are Qt's static data.
    struct Held {
        QtMsgType type;
        const char* file;
        int line;
        const char* function;
        const char* category;
        QString text;
    };
    // Qt calls the handler as a plain function; the launch runs once per process.
    static std::vector<Held>& held_messages() {
        static std::vector<Held> held;
        return held;
    }

    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type != QtFatalMsg) {
            held_messages().push_back(
                {type, context.file, context.line, context.function, context.category, text});
            return;
        }
        std::string message = "Failed to launch application: ";
        for (const auto& held : held_messages()) {
            if (held.category != nullptr && std::string_view(held.category) != "default")
                message += std::string(held.category) + ": ";
            message += held.text.toStdString() + "\n";
        }
        message += text.toStdString();
        std::fprintf(stderr, "%s\n", message.c_str());
        std::fflush(stderr);
        // The event loop never ran and no window exists; there is nothing to release.
        std::_Exit(STARTUP_FAILED);
    }

    QtMessageHandler previous_ = nullptr;
    bool previous_installed_ = false;
};

// Qt's xcb platform ends the process with exit(1) when its connection to the X server breaks, from
// inside the event loop; the warning it prints just before is the last moment at which everything of
// the run is still intact, and no step is running then. The warning still goes where Qt's messages go.
class DisplayLossWatch {
  public:
    explicit DisplayLossWatch(const std::function<void()>& display_lost) {
        display_lost_ = &display_lost;
        previous_ = qInstallMessageHandler(&DisplayLossWatch::handle);
    }
    ~DisplayLossWatch() {
        qInstallMessageHandler(previous_);
        display_lost_ = nullptr;
    }
    DisplayLossWatch(const DisplayLossWatch&) = delete;
    DisplayLossWatch& operator=(const DisplayLossWatch&) = delete;

  private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        pass_on(type, context, text);
        if (type == QtWarningMsg && text.startsWith(QStringLiteral("The X11 connection broke")) &&
            display_lost_ != nullptr) {
            const std::function<void()>* lost = std::exchange(display_lost_, nullptr);
            (*lost)();
        }
    }
    static void pass_on(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (previous_ != nullptr) {
            previous_(type, context, text);
        } else {
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        }
    }

    // Qt calls the handler as a plain function; one window per process.
    static inline QtMessageHandler previous_ = nullptr;
    static inline const std::function<void()>* display_lost_ = nullptr;
};

// Once the firmware is about to be written, the device must still be listed and reported: its update
// runs on to its end (the tones of success or failure) before the window may close.
bool close_waits_in(const FlashState& state) {
    return state.is<FlashState::Release>() || state.is<FlashState::Flashing>() ||
           state.is<FlashState::ListCredentials>();
}

// Every close of the window, from its close button, the window manager or a stop signal, goes through
// here. Steps block the event loop, so a close asked for during one is seen when the step has ended:
// a stop signal at the end of that step's pass, a close button's click when the loop reads it.
class WindowClose : public QObject {
  public:
    WindowClose(StationRoot& root, DataHost& host) : root_(root), host_(host) {
        root_.installEventFilter(this);
        host_.add_after_pass([this] { after_pass(); });
        if (signals_.descriptor() >= 0) {
            notifier_.emplace(static_cast<qintptr>(signals_.descriptor()), QSocketNotifier::Read);
            QObject::connect(&*notifier_, &QSocketNotifier::activated, this, [this] {
                if (signals_.take()) root_.close();
            });
        }
    }
    ~WindowClose() override { root_.removeEventFilter(this); }
    WindowClose(const WindowClose&) = delete;
    WindowClose& operator=(const WindowClose&) = delete;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &root_ || event->type() != QEvent::Close) return false;
        if (close_waits_in(host_.data().content.state)) {
            waiting_ = true;
            event->ignore();
            return true;
        }
        waiting_ = false;
        // The command the last step queued must not start another step behind the closed window: the
        // loop ends now rather than after the queued events.
        QCoreApplication::exit(0);
        return false;
    }

  private:
    // A signal that came during the step closes before the command the step queued is taken: nothing
    // starts after it.
    void after_pass() {
        if (signals_.take() || waiting_) root_.close();
    }

    StationRoot& root_;
    DataHost& host_;
    StopSignals signals_;
    std::optional<QSocketNotifier> notifier_;
    bool waiting_ = false;
};

}  // namespace

StartupServices::StartupServices()
    : create_credentials_csv([](common::DeviceKind kind, const common::Customer& customer) {
          return common::create_credentials_csv(kind, customer);
      }),
      launch(launch_window),
      send_report_mail([](std::string_view customer, const common::ArticleRevision& target,
                          std::string_view firmware_release, std::span<const rfid::TagUid> uids,
                          const MailSettings& settings) {
          return app::send_report_mail(customer, target, firmware_release, uids, settings);
      }) {}

void launch_window(const WindowDesc& window, ExternalUpdate data, const std::function<void()>& display_lost) {
    // Qt wants the program's arguments; the program reads none, so it gets its name alone.
    static char name[] = "caldrinex_update";
    static char* argv[] = {name, nullptr};
    static int argc = 1;

    LaunchMessages messages;
    QApplication application(argc, argv);
    messages.stop();
    const DisplayLossWatch watch(display_lost);
    run_window(window, std::move(data));
}

void run_window(const WindowDesc& window, ExternalUpdate data) {
    // Both go when this returns, the window first: the data's copies hold the report channel's sending
    // handles, and the drain after the window waits for the last of them.
    DataHost host(std::move(data));
    const std::unique_ptr<StationRoot> root(window.root.realise(host));
    const WindowClose close(*root, host);
    root->setWindowTitle(QString::fromStdString(window.title));
    root->resize(qRound(window.width), qRound(window.height));
    root->show();
    (void)QApplication::exec();
}

namespace {

template <class Next>
std::vector<rfid::TagUid> each_once(Next next) {
    std::vector<rfid::TagUid> uids;
    while (const auto uid = next())
        if (std::find(uids.begin(), uids.end(), *uid) == uids.end()) uids.push_back(*uid);
    return uids;
}

}  // namespace

std::vector<rfid::TagUid> collect_reported_uids(ReportReceiver& receiver) {
    return each_once([&] { return receiver.receive(); });
}

std::vector<rfid::TagUid> queued_reported_uids(ReportReceiver& receiver) {
    return each_once([&] { return receiver.try_receive(); });
}

int run_station(const StartupConfig& config, StartupServices services) {
    const auto remove_work_file = services.workflow.remove_firmware_file;
    UiBuilder root = build_ui(UiOptions{config.customer, config.rfid_mode, std::move(services.workflow),
                                        config.credential_table, config.firmware_image});
    const WindowDesc window{std::move(root), config.window_title, config.window_width, config.window_height};

    const auto target = common::parse_article_revision(config.target);
    if (!target) {
        std::fprintf(stderr, "The built-in target \"%s\" does not parse: %s\n", config.target.c_str(),
                     target.error().message.c_str());
        return STARTUP_FAILED;
    }
    const common::DeviceKind kind = common::device_kind(target->article);
    const auto release_found = common::firmware_release_for(*target);
    if (!release_found) {
        std::fprintf(stderr, "The built-in target \"%s\" has no firmware release: %s\n",
                     config.target.c_str(), release_found.error().message.c_str());
        return STARTUP_FAILED;
    }
    const std::string firmware_release(*release_found);

    auto [sender, receiver] = make_report_channel();
    // A run that was killed while flashing left the device's key in the work file; it goes before the
    // window opens. Nothing else is to be done about it, so the outcome does not matter.
    (void)remove_work_file();
    const auto created = services.create_credentials_csv(kind, common::Customer::other(config.customer));

    ExternalUpdate data;
    data.content.state = FlashState::Idle{};
    data.content.target = *target;
    data.content.report_sender = std::move(sender);
    data.firmware_version = firmware_release;
    if (!created) {
        data.csv_error = created.error().message;
        data.csv_failed = true;
    }

    const auto report = [&](const std::vector<rfid::TagUid>& reported_uids) {
        if (!reported_uids.empty())
            (void)services.send_report_mail(config.customer, *target, firmware_release, reported_uids,
                                            config.mail);
    };
    // Without a display the process ends inside the launch; every device flashed until then has been
    // queued (no step runs at that moment), so the queue is all there is to report.
    services.launch(window, std::move(data), [&] { report(queued_reported_uids(receiver)); });

    const std::vector<rfid::TagUid> reported_uids = collect_reported_uids(receiver);
    { [[maybe_unused]] const ReportReceiver released = std::move(receiver); }
    report(reported_uids);
    return 0;
}

}  // namespace app
