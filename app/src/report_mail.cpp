#include "app/report_mail.hpp"

#include <curl/curl.h>
#include <gmime/gmime.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "base/quoted.hpp"

namespace app {

std::string compose_report_body(std::string_view customer, const common::ArticleRevision& target,
                                std::string_view firmware_release, std::span<const rfid::TagUid> uids,
                                std::string_view date) {
    std::string devices;
    for (const rfid::TagUid& uid : uids) {
        devices += '\n';
        devices += uid.to_string();
    }
    std::string body =
        "Dear Caldrinex Team\n\nThe following firmware update has been performed:\nCustomer         ";
    body += customer;
    body += "\nArticle and REV  ";
    body += target.to_string();
    body += "\nFirmware Version ";
    body += firmware_release;
    body += "\nDate of Update   ";
    body += date;
    body += "\n\nThe firmware update has been performed on the following ";
    body += std::to_string(uids.size());
    body += " devices:\n\n";
    body += devices;
    body += "\n\nAll the best,\nThe Caldrinex Robot\n";
    return body;
}

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

void init_libraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_mime_init();
        curl_global_init(CURL_GLOBAL_DEFAULT);
    });
}

base::Error mail_error(std::string message) {
    return base::Error{base::ErrorKind::Other, std::move(message)};
}

// A bare address as SMTP's envelope needs it: one mailbox, no display name, no angle brackets, nothing
// around it. GMime alone would also take "Name <a@b>", lists, or a word without a domain.
[[nodiscard]] base::Result<std::string> parse_address(const std::string& text) {
    GMimeParserOptions* options = g_mime_parser_options_new();
    g_mime_parser_options_set_address_compliance_mode(options, GMIME_RFC_COMPLIANCE_STRICT);
    GPtr<InternetAddressList> list(internet_address_list_parse(options, text.c_str()));
    g_mime_parser_options_free(options);

    bool ok = list && internet_address_list_length(list.get()) == 1;
    if (ok) {
        InternetAddress* address = internet_address_list_get_address(list.get(), 0);
        const char* name = internet_address_get_name(address);
        ok = INTERNET_ADDRESS_IS_MAILBOX(address) && (name == nullptr || *name == '\0') &&
             text == internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
    }
    const std::size_t at = text.rfind('@');
    if (!ok || at == std::string::npos || at == 0 || at + 1 == text.size() ||
        text.find_first_of("\r\n") != std::string::npos) {
        return std::unexpected(mail_error("Invalid mail address " + base::quoted(text)));
    }
    return text;
}

std::string domain_of(const std::string& address) { return address.substr(address.rfind('@') + 1); }

// The whole message as it goes on the wire: CRLF line ends, a body GMime encodes for a 7-bit path.
[[nodiscard]] base::Result<std::string> format_message(const std::string& recipient,
                                                       const std::string& sender, const std::string& body) {
    GPtr<GMimeMessage> message(g_mime_message_new(TRUE));
    g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_TO, nullptr, recipient.c_str());
    g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_FROM, std::string(MAIL_SENDER_NAME).c_str(),
                               sender.c_str());
    g_mime_message_set_subject(message.get(), std::string(MAIL_SUBJECT).c_str(), "utf-8");

    GDateTime* now = g_date_time_new_now_local();
    g_mime_message_set_date(message.get(), now);
    g_date_time_unref(now);
    // Given a domain, GMime does not look up the computer's own name, which may stall without DNS.
    char* message_id = g_mime_utils_generate_message_id(domain_of(sender).c_str());
    g_mime_message_set_message_id(message.get(), message_id);
    g_free(message_id);

    GPtr<GMimeTextPart> part(g_mime_text_part_new_with_subtype("plain"));
    g_mime_text_part_set_charset(part.get(), "utf-8");
    {
        // The stream keeps its own copy of the body; wrapper and part hold references to it.
        GPtr<GMimeStream> content(g_mime_stream_mem_new_with_buffer(body.data(), body.size()));
        GPtr<GMimeDataWrapper> wrapper(
            g_mime_data_wrapper_new_with_stream(content.get(), GMIME_CONTENT_ENCODING_DEFAULT));
        g_mime_part_set_content(GMIME_PART(part.get()), wrapper.get());
    }
    g_mime_object_encode(GMIME_OBJECT(part.get()), GMIME_ENCODING_CONSTRAINT_7BIT);
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(part.get()));

    GMimeFormatOptions* format = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(format, GMIME_NEWLINE_FORMAT_DOS);
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    const gssize written = g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), format, out.get());
    g_mime_format_options_free(format);
    if (written < 0) return std::unexpected(mail_error("The report mail could not be written."));

    const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

struct Upload {
    const std::string& data;
    std::size_t offset = 0;
};

std::size_t read_upload(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto* upload = static_cast<Upload*>(user);
    const std::size_t n = std::min(size * count, upload->data.size() - upload->offset);
    std::memcpy(buffer, upload->data.data() + upload->offset, n);
    upload->offset += n;
    return n;
}

std::size_t discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

// curl logs in only when the relay offers AUTH; without it curl would send the mail unauthenticated.
// The SMTP dialogue, seen through curl's debug channel, tells whether a login went through, and the
// check before the first command of the transfer (MAIL FROM) stops the send without one.
struct LoginWatch {
    bool auth_sent = false;
    bool logged_in = false;
    bool refused = false;
};

int watch_dialogue(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
    auto* watch = static_cast<LoginWatch*>(user);
    const std::string_view line(data, size);
    if (type == CURLINFO_HEADER_OUT && line.starts_with("AUTH ")) watch->auth_sent = true;
    // 235: authentication succeeded.
    if (type == CURLINFO_HEADER_IN && watch->auth_sent && line.starts_with("235")) watch->logged_in = true;
    return 0;
}

int require_login(void* user, char*, char*, int, int) {
    auto* watch = static_cast<LoginWatch*>(user);
    if (watch->logged_in) return CURL_PREREQFUNC_OK;
    watch->refused = true;
    return CURL_PREREQFUNC_ABORT;
}

std::string relay_url(const MailSettings& settings) {
    const bool ipv6_literal = settings.relay_host.find(':') != std::string::npos;
    const std::string host = ipv6_literal ? "[" + settings.relay_host + "]" : settings.relay_host;
    return "smtps://" + host + ":" + std::to_string(settings.port);
}

struct CurlEasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlSlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

[[nodiscard]] base::Result<void> send_message(const MailSettings& settings, const std::string& sender,
                                              const std::string& recipient, const std::string& message) {
    // Everything the handle is given by pointer is declared first, so that it outlives the handle:
    // curl may still write to the error buffer while it closes the connection in its clean-up.
    const std::string url = relay_url(settings);
    const std::string mail_from = "<" + sender + ">";
    std::unique_ptr<curl_slist, CurlSlistFree> rcpt(
        curl_slist_append(nullptr, ("<" + recipient + ">").c_str()));
    if (!rcpt) return std::unexpected(mail_error("The mail transport could not be created."));
    Upload upload{message};
    LoginWatch login;
    char detail[CURL_ERROR_SIZE] = {};

    std::unique_ptr<CURL, CurlEasyCleanup> curl(curl_easy_init());
    if (!curl) return std::unexpected(mail_error("The mail transport could not be created."));
    CURL* h = curl.get();
    const long timeout_ms = static_cast<long>(settings.timeout.count());

    CURLcode code = CURLE_OK;
    const auto set = [&](CURLoption option, auto value) {
        if (code == CURLE_OK) code = curl_easy_setopt(h, option, value);
    };
    set(CURLOPT_ERRORBUFFER, detail);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_PROTOCOLS_STR, "smtps");
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    set(CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    if (!settings.ca_file.empty()) set(CURLOPT_CAINFO, settings.ca_file.c_str());
    set(CURLOPT_USERNAME, sender.c_str());
    set(CURLOPT_PASSWORD, settings.password.c_str());
    // Without this curl would pick a stronger mechanism when the server offers one.
    set(CURLOPT_LOGIN_OPTIONS, "AUTH=PLAIN;AUTH=LOGIN");
    set(CURLOPT_CONNECTTIMEOUT_MS, timeout_ms);
    set(CURLOPT_TIMEOUT_MS, timeout_ms);
    set(CURLOPT_MAIL_FROM, mail_from.c_str());
    set(CURLOPT_MAIL_RCPT, rcpt.get());
    set(CURLOPT_UPLOAD, 1L);
    set(CURLOPT_READFUNCTION, &read_upload);
    set(CURLOPT_READDATA, &upload);
    set(CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
    set(CURLOPT_WRITEFUNCTION, &discard);
    // The debug channel needs verbose mode; with a function of its own nothing is printed.
    set(CURLOPT_DEBUGFUNCTION, &watch_dialogue);
    set(CURLOPT_DEBUGDATA, &login);
    set(CURLOPT_VERBOSE, 1L);
    set(CURLOPT_PREREQFUNCTION, &require_login);
    set(CURLOPT_PREREQDATA, &login);
    if (code == CURLE_OK) code = curl_easy_perform(h);
    if (code == CURLE_OK) return {};
    if (login.refused) std::snprintf(detail, sizeof detail, "%s", "the relay offers no PLAIN or LOGIN login");

    long reply = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply);
    std::string message_text = "The report mail was not sent: ";
    message_text += detail[0] != '\0' ? detail : curl_easy_strerror(code);
    message_text +=
        "\n(curl error " + std::to_string(static_cast<int>(code)) + ": " + curl_easy_strerror(code);
    // Only a refusing reply says something; the last positive one would mislead.
    if (reply >= 400) message_text += "; SMTP reply " + std::to_string(reply);
    message_text += ")";
    return std::unexpected(mail_error(std::move(message_text)));
}

}  // namespace

base::Result<void> send_report_mail(std::string_view customer, const common::ArticleRevision& target,
                                    std::string_view firmware_release, std::span<const rfid::TagUid> uids,
                                    const MailSettings& settings, const common::DateSource& today) {
    init_libraries();
    const std::string body = compose_report_body(customer, target, firmware_release, uids, today());

    const auto recipient = parse_address(settings.recipient);
    if (!recipient) return std::unexpected(recipient.error());
    const auto sender = parse_address(settings.sender);
    if (!sender) return std::unexpected(sender.error());

    const auto message = format_message(*recipient, *sender, body);
    if (!message) return std::unexpected(message.error());
    return send_message(settings, *sender, *recipient, *message);
}

}  // namespace app
