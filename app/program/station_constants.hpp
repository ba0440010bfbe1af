#pragma once

// The start-up constants of the program, all in this one place. Each can be replaced when a build
// defines its macro (see add_station_program in app/CMakeLists.txt); a plain build uses the values here.

#include <cstdint>
#include <string_view>

#include "app/report_mail.hpp"
#include "app/startup.hpp"
#include "app/ui.hpp"
#include "common/stm32_programmer.hpp"

namespace station {

#ifdef STATION_TARGET
inline constexpr std::string_view TARGET = STATION_TARGET;
#else
inline constexpr std::string_view TARGET = "QZT410HoNO35-TB-P-2.c";
#endif

#ifdef STATION_CUSTOMER
inline constexpr std::string_view CUSTOMER = STATION_CUSTOMER;
#else
inline constexpr std::string_view CUSTOMER = "KORVEN GmbH";
#endif

#ifdef STATION_WINDOW_TITLE
inline constexpr std::string_view WINDOW_TITLE = STATION_WINDOW_TITLE;
#else
inline constexpr std::string_view WINDOW_TITLE = "Caldrinex Firmware Update Tool";
#endif

inline constexpr double WINDOW_WIDTH = 700.0;
inline constexpr double WINDOW_HEIGHT = 350.0;

#ifdef STATION_RFID_MODE
inline constexpr bool RFID_MODE = STATION_RFID_MODE;
#else
inline constexpr bool RFID_MODE = app::RFID_MODE;
#endif

// The report mail's relay account; the defaults are the maker's (app/report_mail.hpp).
#ifdef STATION_MAIL_RELAY_HOST
inline constexpr std::string_view MAIL_RELAY_HOST = STATION_MAIL_RELAY_HOST;
#else
inline constexpr std::string_view MAIL_RELAY_HOST = app::MAIL_RELAY_HOST;
#endif
#ifdef STATION_MAIL_RELAY_PORT
inline constexpr std::uint16_t MAIL_RELAY_PORT = STATION_MAIL_RELAY_PORT;
#else
inline constexpr std::uint16_t MAIL_RELAY_PORT = app::MAIL_RELAY_PORT;
#endif
#ifdef STATION_MAIL_SENDER
inline constexpr std::string_view MAIL_SENDER = STATION_MAIL_SENDER;
#else
inline constexpr std::string_view MAIL_SENDER = app::MAIL_SENDER;
#endif
#ifdef STATION_MAIL_RECIPIENT
inline constexpr std::string_view MAIL_RECIPIENT = STATION_MAIL_RECIPIENT;
#else
inline constexpr std::string_view MAIL_RECIPIENT = app::MAIL_RECIPIENT;
#endif
#ifdef STATION_MAIL_PASSWORD
inline constexpr std::string_view MAIL_PASSWORD = STATION_MAIL_PASSWORD;
#else
inline constexpr std::string_view MAIL_PASSWORD = app::MAIL_PASSWORD;
#endif
// A PEM file of CA certificates trusted in place of the system's bundle; empty keeps the system's.
#ifdef STATION_MAIL_CA_FILE
inline constexpr std::string_view MAIL_CA_FILE = STATION_MAIL_CA_FILE;
#else
inline constexpr std::string_view MAIL_CA_FILE = "";
#endif

// STMicroelectronics' programmer tool; the default is the one the whole build was configured with.
#ifdef STATION_PROGRAMMER_CLI
inline constexpr std::string_view PROGRAMMER_CLI = STATION_PROGRAMMER_CLI;
#else
inline constexpr std::string_view PROGRAMMER_CLI = common::STM32_PROGRAMMER_CLI;
#endif

[[nodiscard]] inline app::StartupConfig built_in_config() {
    app::StartupConfig config;
    config.target = std::string(TARGET);
    config.customer = std::string(CUSTOMER);
    config.window_title = std::string(WINDOW_TITLE);
    config.window_width = WINDOW_WIDTH;
    config.window_height = WINDOW_HEIGHT;
    config.rfid_mode = RFID_MODE;
    config.mail.relay_host = std::string(MAIL_RELAY_HOST);
    config.mail.port = MAIL_RELAY_PORT;
    config.mail.sender = std::string(MAIL_SENDER);
    config.mail.recipient = std::string(MAIL_RECIPIENT);
    config.mail.password = std::string(MAIL_PASSWORD);
    config.mail.ca_file = std::string(MAIL_CA_FILE);
    return config;
}

// The real outside services, with the programmer tool above.
[[nodiscard]] inline app::StartupServices built_in_services() {
    app::StartupServices services;
    services.workflow.probe_device = [](common::DeviceKind kind) {
        return common::probe_device(kind, PROGRAMMER_CLI);
    };
    services.workflow.flash_device = [](common::DeviceKind kind, std::string_view path) {
        return common::flash_device(kind, path, PROGRAMMER_CLI);
    };
    return services;
}

}  // namespace station
