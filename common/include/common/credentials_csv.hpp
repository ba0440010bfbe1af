#pragma once

#include <string>
#include <string_view>

#include "base/error.hpp"
#include "common/article.hpp"
#include "common/local_date.hpp"
#include "common/record.hpp"
#include "rfid/tag_uid.hpp"

namespace common {

// Header lines of the day's credentials file, each with its LF. The brand layout serves Tavor
// whatever the device kind; KX files get no header at all.
inline constexpr std::string_view BRAND_HEADER =
    "Tag NFC;Device EUI;Application EUI;Application Key;Brand;Model;Firmware\n";
inline constexpr std::string_view VALVE_HEADER =
    "RFID tag;Device EUI;Join EUI;Application Key;Article;REV;Hardware Version;Firmware Version;Production "
    "Date;Hardware Test: Reference Run;Hardware Test: Flow Sensor;Hardware Test: Ambient Sensor;Hardware "
    "Test: "
    "Thermogenerator;Release Date;Delivery Note Number;Box Number;Order Size\n";
inline constexpr std::string_view JRX_HEADER =
    "RFID tag;Device EUI;Join EUI;Application Key;Article;REV;Hardware Version;Firmware Version;Production "
    "Date;Hardware Test: Ambient Sensor;Hardware Test: PIR;Hardware Test: SPT;Hardware Test: Battery;Release "
    "Date;Delivery Note Number;Box Number;Order Size\n";
// WQ devices have three hardware tests, so WQ rows carry the first three statuses of the record and
// line up with this header.
inline constexpr std::string_view WQ_HEADER =
    "RFID tag;Device EUI;Join EUI;Application Key;Article;REV;Hardware Version;Firmware Version;Production "
    "Date;Hardware Test: Ambient Sensor;Hardware Test: SPT;Hardware Test: Battery;Release Date;Delivery Note "
    "Number;Box Number;Order Size\n";

// "QZT_Device_Credentials_<date>.csv" in the working directory, formed anew at every call so that
// a program running past midnight addresses the new day's file.
[[nodiscard]] std::string credentials_csv_name(const DateSource& today = local_date);

// Creates the day's file with the header for the customer and kind. An existing file of the day is
// kept exactly as it is, and that is success.
[[nodiscard]] base::Result<void> create_credentials_csv(DeviceKind kind, const Customer& customer,
                                                        const DateSource& today = local_date);
[[nodiscard]] base::Result<void> create_credentials_file(DeviceKind kind, const std::string& name,
                                                         const Customer& customer);

// Appends the updated credentials of the tag's device to the day's file, which must exist. Nothing
// is written unless every step before the append succeeded, and a line without delivery data is
// skipped without error.
[[nodiscard]] base::Result<void> export_record(const rfid::TagUid& tag, std::string_view table,
                                               const ArticleRevision& target,
                                               const DateSource& today = local_date);

// The record as it stands after the update: the target's join EUI, the target article with the
// line's own adapter suffix, the target revision and the release.
[[nodiscard]] base::Result<void> apply_update(CredentialRecord& record, const ArticleRevision& target,
                                              std::string_view release);

// The row for the record, without a line end: the brand layout for Tavor, else the full layout.
[[nodiscard]] base::Result<std::string> customer_csv_row(const ValveRecord& record,
                                                         const DeliveryInfo& delivery);
[[nodiscard]] base::Result<std::string> customer_csv_row(const JrxRecord& record,
                                                         const DeliveryInfo& delivery);
[[nodiscard]] base::Result<std::string> customer_csv_row(const WqRecord& record,
                                                         const DeliveryInfo& delivery);

}  // namespace common
