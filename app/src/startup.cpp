#include "app/startup.hpp"

#include <QApplication>
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "app/data_host.hpp"
#include "common/credentials_csv.hpp"
#include "common/release.hpp"

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

base::Result<void> launch_window(const WindowDesc& window, ExternalUpdate data) {
    // Qt wants the program's arguments; the program reads none, so it gets its name alone.
    static char name[] = "caldrinex_update";
    static char* argv[] = {name, nullptr};
    static int argc = 1;

    LaunchMessages messages;
    QApplication application(argc, argv);
    messages.stop();

    DataHost host(std::move(data));
    std::unique_ptr<StationRoot> root(window.root.realise(host));
    root->setWindowTitle(QString::fromStdString(window.title));
    root->resize(qRound(window.width), qRound(window.height));
    root->show();
    (void)QApplication::exec();
    // The window and every copy of the data go before the report channel is drained: the copies hold
    // the channel's sending handles, and the drain waits for the last of them.
    root.reset();
    host.release();
    return {};
}

std::vector<rfid::TagUid> collect_reported_uids(ReportReceiver& receiver) {
    std::vector<rfid::TagUid> uids;
    while (const auto uid = receiver.receive())
        if (std::find(uids.begin(), uids.end(), *uid) == uids.end()) uids.push_back(*uid);
    return uids;
}

int run_station(const StartupConfig& config, StartupServices services) {
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

    const auto launched = services.launch(window, std::move(data));
    if (!launched) {
        std::fprintf(stderr, "Failed to launch application: %s\n", launched.error().message.c_str());
        return STARTUP_FAILED;
    }

    std::vector<rfid::TagUid> reported_uids = collect_reported_uids(receiver);
    { [[maybe_unused]] const ReportReceiver released = std::move(receiver); }
    if (!reported_uids.empty())
        (void)services.send_report_mail(config.customer, *target, firmware_release, reported_uids,
                                        config.mail);
    return 0;
}

}  // namespace app
