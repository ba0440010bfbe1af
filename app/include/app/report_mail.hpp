#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/error.hpp"
#include "common/article.hpp"
#include "common/local_date.hpp"
#include "rfid/tag_uid.hpp"

namespace app {

inline constexpr std::string_view MAIL_SENDER_NAME = "Caldrinex External";
inline constexpr std::string_view MAIL_SUBJECT = "QZT Devices Update";
inline constexpr std::chrono::milliseconds MAIL_TIMEOUT = std::chrono::seconds(60);

// Where and as whom the report goes: a program's mail account is a build input (its mail account
// file); tests point it elsewhere.
struct MailSettings {
    std::string relay_host;
    std::uint16_t port = 0;
    std::string sender;
    std::string recipient;
    std::string password;
    // A PEM file of CA certificates used in place of the default bundle file; empty keeps the default.
    std::string ca_file = {};
    // Applies to the connection set-up and, separately, to the whole send.
    std::chrono::milliseconds timeout = MAIL_TIMEOUT;
};

// The report's plain text with LF line ends; `date` is the day the report is written.
[[nodiscard]] std::string compose_report_body(std::string_view customer,
                                              const common::ArticleRevision& target,
                                              std::string_view firmware_release,
                                              std::span<const rfid::TagUid> uids, std::string_view date);

// Writes the report for `uids` and sends it once over SMTP with TLS from the first byte. Every failure
// comes back as one error value; nothing is printed, retried or kept.
[[nodiscard]] base::Result<void> send_report_mail(std::string_view customer,
                                                  const common::ArticleRevision& target,
                                                  std::string_view firmware_release,
                                                  std::span<const rfid::TagUid> uids,
                                                  const MailSettings& settings = {},
                                                  const common::DateSource& today = common::local_date);

}  // namespace app
