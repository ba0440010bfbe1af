#include "app/report_mail.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "fixtures/smtps_server.hpp"

namespace {

using common::Article;
using rfid::TagUid;

const common::ArticleRevision TARGET{Article::QZT410HoNO35_TB_P, {2, 0xc}};
const TagUid UID_A{{0x04, 0xa1, 0xb2, 0xc3, 0xd4, 0xe5, 0xf6}};
const TagUid UID_B{{0x04, 0x00, 0x0f, 0x10, 0xff, 0x7a, 0x01}};
const TagUid UID_C{{0x04, 0x5c, 0x3e, 0x9a, 0x22, 0x80, 0x4d}};

struct BodyCase {
    const char* name;
    std::string customer;
    std::vector<TagUid> uids;
    std::string expected;

    friend void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.name; }
};

class ReportBody : public testing::TestWithParam<BodyCase> {};

TEST_P(ReportBody, IsComposedByteForByte) {
    const BodyCase& c = GetParam();
    EXPECT_EQ(app::compose_report_body(c.customer, TARGET, "2024.09.03.00", c.uids, "2025-01-31"),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportBody,
    testing::Values(BodyCase{"OneDeviceKeepsThePluralAndTheEmptyLinesAroundTheList",
                             "KORVEN GmbH",
                             {UID_A},
                             "Dear Caldrinex Team\n"
                             "\n"
                             "The following firmware update has been performed:\n"
                             "Customer         KORVEN GmbH\n"
                             "Article and REV  QZT410HoNO35-TB-P-2.c\n"
                             "Firmware Version 2024.09.03.00\n"
                             "Date of Update   2025-01-31\n"
                             "\n"
                             "The firmware update has been performed on the following 1 devices:\n"
                             "\n"
                             "\n"
                             "04:A1:B2:C3:D4:E5:F6\n"
                             "\n"
                             "All the best,\n"
                             "The Caldrinex Robot\n"},
                    BodyCase{"ThreeDevicesAreListedInTheGivenOrder",
                             "KORVEN GmbH",
                             {UID_B, UID_A, UID_C},
                             "Dear Caldrinex Team\n"
                             "\n"
                             "The following firmware update has been performed:\n"
                             "Customer         KORVEN GmbH\n"
                             "Article and REV  QZT410HoNO35-TB-P-2.c\n"
                             "Firmware Version 2024.09.03.00\n"
                             "Date of Update   2025-01-31\n"
                             "\n"
                             "The firmware update has been performed on the following 3 devices:\n"
                             "\n"
                             "\n"
                             "04:00:0F:10:FF:7A:01\n"
                             "04:A1:B2:C3:D4:E5:F6\n"
                             "04:5C:3E:9A:22:80:4D\n"
                             "\n"
                             "All the best,\n"
                             "The Caldrinex Robot\n"},
                    BodyCase{"NonAsciiCustomerIsCopiedUnchanged",
                             "Jørgensen Düsseldorf ÅB",
                             {UID_C},
                             "Dear Caldrinex Team\n"
                             "\n"
                             "The following firmware update has been performed:\n"
                             "Customer         Jørgensen Düsseldorf ÅB\n"
                             "Article and REV  QZT410HoNO35-TB-P-2.c\n"
                             "Firmware Version 2024.09.03.00\n"
                             "Date of Update   2025-01-31\n"
                             "\n"
                             "The firmware update has been performed on the following 1 devices:\n"
                             "\n"
                             "\n"
                             "04:5C:3E:9A:22:80:4D\n"
                             "\n"
                             "All the best,\n"
                             "The Caldrinex Robot\n"}));

// What a test relay expects; the password is not the build's, so a test cannot pass by accident.
const std::string SENDER = "station@caldrinex.test";
const std::string RECIPIENT = "credentials@caldrinex.test";
const std::string PASSWORD = "Hx7pQ2mWc9LrT4zB";
const std::string FIXED_DATE = "2031-02-03";

std::string fixed_date() { return FIXED_DATE; }

std::string lf_line_ends(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

bool every_line_ends_in_crlf(const std::string& raw) {
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) return false;
        if (raw[i] == '\r' && (i + 1 == raw.size() || raw[i + 1] != '\n')) return false;
    }
    return raw.size() >= 2 && raw.ends_with("\r\n");
}

bool seven_bit(const std::string& raw) {
    return std::all_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The certificates are made once per test program; each test starts a server of its own.
class ReportMailRelay : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        cert_dir_ = std::make_unique<fixtures::TempDir>();
        certs_ = fixtures::make_test_certificates(cert_dir_->path());
    }
    static void TearDownTestSuite() { cert_dir_.reset(); }

    static fixtures::SmtpsServerOptions server_options() {
        return {certs_.server_cert, certs_.server_key, SENDER, PASSWORD};
    }

    [[nodiscard]] fixtures::SmtpsServer& start(const fixtures::SmtpsServerOptions& options) {
        server_ = std::make_unique<fixtures::SmtpsServer>(dir_.path(), options);
        return *server_;
    }

    static app::MailSettings settings_for(std::uint16_t port) {
        app::MailSettings settings;
        settings.relay_host = "localhost";
        settings.port = port;
        settings.sender = SENDER;
        settings.recipient = RECIPIENT;
        settings.password = PASSWORD;
        settings.ca_file = certs_.ca.string();
        settings.timeout = std::chrono::seconds(10);
        return settings;
    }

    static inline std::unique_ptr<fixtures::TempDir> cert_dir_;
    static inline fixtures::TestCertificates certs_;
    fixtures::TempDir dir_;
    std::unique_ptr<fixtures::SmtpsServer> server_;
};

struct DeliveryCase {
    const char* name;
    std::string customer;
    std::vector<TagUid> uids;
    std::string mechanisms;
    std::string used_mechanism;

    friend void PrintTo(const DeliveryCase& c, std::ostream* os) { *os << c.name; }
};

class ReportMailDelivery : public ReportMailRelay, public testing::WithParamInterface<DeliveryCase> {};

TEST_P(ReportMailDelivery, ArrivesWithEnvelopeHeadersAndBodyAsComposed) {
    const DeliveryCase& c = GetParam();
    fixtures::SmtpsServerOptions options = server_options();
    options.mechanisms = c.mechanisms;
    fixtures::SmtpsServer& server = start(options);

    const auto sent = app::send_report_mail(c.customer, TARGET, "2024.09.03.00", c.uids,
                                            settings_for(server.port()), fixed_date);
    ASSERT_TRUE(sent) << sent.error().message << "\n" << server.log();

    const auto messages = server.messages();
    ASSERT_EQ(messages.size(), 1u);
    const fixtures::ReceivedMessage& m = messages[0];
    EXPECT_EQ(m.mail_from, SENDER);
    EXPECT_EQ(m.rcpt_tos, std::vector<std::string>{RECIPIENT});
    EXPECT_EQ(m.login, SENDER);
    EXPECT_EQ(m.mechanism, c.used_mechanism);
    EXPECT_EQ(m.from, "Caldrinex External <" + SENDER + ">");
    EXPECT_EQ(m.to, RECIPIENT);
    EXPECT_EQ(m.subject, "QZT Devices Update");
    EXPECT_EQ(m.content_type, "text/plain");
    EXPECT_EQ(m.charset, "utf-8");
    EXPECT_TRUE(m.has_date);
    EXPECT_TRUE(m.has_message_id);
    EXPECT_EQ(lf_line_ends(m.body),
              app::compose_report_body(c.customer, TARGET, "2024.09.03.00", c.uids, FIXED_DATE));
    EXPECT_TRUE(every_line_ends_in_crlf(m.raw)) << m.raw;
    EXPECT_TRUE(seven_bit(m.raw)) << m.raw;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportMailDelivery,
    testing::Values(
        DeliveryCase{"OneDevicePrefersPlain", "KORVEN GmbH", {UID_A}, "PLAIN,LOGIN", "PLAIN"},
        DeliveryCase{
            "NonAsciiCustomerOverLogin", "Jørgensen Düsseldorf ÅB", {UID_B, UID_A, UID_C}, "LOGIN", "LOGIN"},
        DeliveryCase{"PlainAloneIsEnough", "KORVEN GmbH", {UID_C, UID_B}, "PLAIN", "PLAIN"}));

// 7bit is the default transfer encoding, so it goes without a header.
TEST_F(ReportMailRelay, AsciiBodyTravelsAsSevenBitAndNonAsciiAsQuotedPrintable) {
    fixtures::SmtpsServer& server = start(server_options());
    const app::MailSettings settings = settings_for(server.port());
    ASSERT_TRUE(app::send_report_mail("KORVEN GmbH", TARGET, "2024.09.03.00", std::vector{UID_A}, settings));
    ASSERT_TRUE(app::send_report_mail("Jørgensen", TARGET, "2024.09.03.00", std::vector{UID_A}, settings));

    const auto messages = server.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].transfer_encoding, "") << messages[0].raw;
    EXPECT_EQ(messages[1].transfer_encoding, "quoted-printable") << messages[1].raw;
}

// The caller runs after the window is gone and shows nothing; the transport must not chat either.
TEST_F(ReportMailRelay, SendingPrintsNothingOnSuccessOrFailure) {
    fixtures::SmtpsServer& server = start(server_options());
    app::MailSettings settings = settings_for(server.port());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const auto delivered =
        app::send_report_mail("KORVEN GmbH", TARGET, "2024.09.03.00", std::vector{UID_A}, settings);
    settings.password = "wrong";
    const auto refused =
        app::send_report_mail("KORVEN GmbH", TARGET, "2024.09.03.00", std::vector{UID_A}, settings);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(delivered);
    EXPECT_FALSE(refused);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

enum class ServerCert { Own, Foreign };

struct FailureCase {
    const char* name;
    std::string relay_host = "localhost";
    ServerCert cert = ServerCert::Own;
    std::string mechanisms = "PLAIN,LOGIN";
    std::string password = PASSWORD;
    std::vector<std::string> refused_recipients = {};
    bool closed_port = false;
    bool silent_port = false;
    std::chrono::milliseconds timeout = std::chrono::seconds(10);
    int curl_code = 0;
    long smtp_reply = 0;
    int mail_commands = 0;  // MAIL commands the server saw before the failure

    friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class ReportMailFailure : public ReportMailRelay, public testing::WithParamInterface<FailureCase> {};

// With a short time-out in the settings, a hang would show up as curl's time-out code instead.
TEST_P(ReportMailFailure, IsOneErrorNamingCurlsCodeAndTheReply) {
    const FailureCase& c = GetParam();
    fixtures::SmtpsServerOptions options = server_options();
    if (c.cert == ServerCert::Foreign) {
        options.cert = certs_.foreign_server_cert;
        options.key = certs_.foreign_server_key;
    }
    options.mechanisms = c.mechanisms;
    options.refused_recipients = c.refused_recipients;
    fixtures::SmtpsServer& server = start(options);
    const fixtures::ClosedPort closed;
    const fixtures::SilentPort silent;

    app::MailSettings settings = settings_for(c.closed_port   ? closed.port()
                                              : c.silent_port ? silent.port()
                                                              : server.port());
    settings.relay_host = c.relay_host;
    settings.password = c.password;
    settings.timeout = c.timeout;
    const auto sent =
        app::send_report_mail("KORVEN GmbH", TARGET, "2024.09.03.00", std::vector{UID_A}, settings);

    ASSERT_FALSE(sent);
    const std::string& message = sent.error().message;
    EXPECT_EQ(sent.error().kind, base::ErrorKind::Other);
    EXPECT_TRUE(message.starts_with("The report mail was not sent: ")) << message;
    EXPECT_NE(message.find("\n(curl error " + std::to_string(c.curl_code) + ": "), std::string::npos)
        << message;
    if (c.smtp_reply != 0) {
        EXPECT_TRUE(message.ends_with("; SMTP reply " + std::to_string(c.smtp_reply) + ")")) << message;
    } else {
        EXPECT_EQ(message.find("SMTP reply"), std::string::npos) << message;
    }
    EXPECT_TRUE(server.messages().empty());
    EXPECT_EQ(server.mail_commands(), c.mail_commands);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportMailFailure,
    testing::Values(
        FailureCase{
            .name = "WrongPassword", .password = "Hx7pQ2mWc9LrT4zC", .curl_code = 67, .smtp_reply = 535},
        FailureCase{.name = "CertificateFromAnotherCa", .cert = ServerCert::Foreign, .curl_code = 60},
        FailureCase{.name = "HostNameNotInTheCertificate", .relay_host = "127.0.0.1", .curl_code = 60},
        FailureCase{.name = "ClosedPort", .closed_port = true, .curl_code = 7},
        FailureCase{.name = "OnlyAStrongerMechanismOffered", .mechanisms = "CRAM-MD5", .curl_code = 67},
        // Without a login the mail must not go, and curl skips the login when none is offered.
        FailureCase{.name = "NoAuthOffered", .mechanisms = "", .curl_code = 42},
        // Accepted by the kernel, never answered: the settings' time-out ends the wait.
        FailureCase{.name = "RelayNeverAnswers",
                    .silent_port = true,
                    .timeout = std::chrono::milliseconds(300),
                    .curl_code = 28},
        FailureCase{.name = "RecipientRefused",
                    .refused_recipients = {RECIPIENT},
                    .curl_code = 55,
                    .smtp_reply = 550,
                    .mail_commands = 1}));

struct AddressCase {
    const char* name;
    std::string recipient;
    std::string sender;
    std::string expected;

    friend void PrintTo(const AddressCase& c, std::ostream* os) { *os << c.name; }
};

class ReportMailAddress : public testing::TestWithParam<AddressCase> {};

// The port is closed: an address error must come before any attempt to connect.
TEST_P(ReportMailAddress, ThatDoesNotParseFailsBeforeConnecting) {
    const AddressCase& c = GetParam();
    const fixtures::ClosedPort closed;
    app::MailSettings settings;
    settings.relay_host = "localhost";
    settings.port = closed.port();
    settings.recipient = c.recipient;
    settings.sender = c.sender;
    const auto sent =
        app::send_report_mail("KORVEN GmbH", TARGET, "2024.09.03.00", std::vector{UID_A}, settings);
    ASSERT_FALSE(sent);
    EXPECT_EQ(sent.error(), (base::Error{base::ErrorKind::Other, c.expected}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportMailAddress,
    testing::Values(AddressCase{"RecipientWithoutDomain", "credentials", SENDER,
                                "Invalid mail address \"credentials\""},
                    AddressCase{"SenderWithDisplayName", RECIPIENT, "Station <" + SENDER + ">",
                                "Invalid mail address \"Station <station@caldrinex.test>\""},
                    AddressCase{"SenderWithLineBreak", RECIPIENT, SENDER + "\r\nRCPT TO:<x@y.test>",
                                "Invalid mail address \"station@caldrinex.test\\r\\nRCPT TO:<x@y.test>\""},
                    AddressCase{"BothBadRecipientFirst", "two@a.test, three@b.test", "",
                                "Invalid mail address \"two@a.test, three@b.test\""},
                    AddressCase{"EmptyRecipient", "", SENDER, "Invalid mail address \"\""}));

}  // namespace
