#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/error.hpp"
#include "common/article.hpp"
#include "common/eui.hpp"
#include "common/key.hpp"
#include "rfid/tag_uid.hpp"

namespace common {

// The identifier block of a credential-table line: what one device update carries along.
struct DeviceRecord {
    rfid::TagUid tag_uid;
    Eui dev_eui;
    Eui join_eui;
    AppKey app_key;

    bool operator==(const DeviceRecord&) const = default;

    // Tag UID, device EUI, join EUI, key, joined by ";" as in the table.
    [[nodiscard]] std::string to_string() const;
};

enum class TestStatus : std::uint8_t { Unrecognised, Pass, Fail, Incomplete };

// Case-insensitive; anything but the three words reads as Unrecognised, so a status never fails.
[[nodiscard]] TestStatus test_status_from_str(std::string_view text);
[[nodiscard]] std::string_view to_string(TestStatus status);

enum class OperatorCode : std::uint8_t { Unknown, XA, XE, XI, XO, XU, XY };

// Code i is written as characters 2i and 2i + 1.
inline constexpr std::string_view OPERATOR_CODES = "??XAXEXIXOXUXY";

[[nodiscard]] base::Result<OperatorCode> operator_code_from_str(std::string_view text);
[[nodiscard]] std::string_view to_string(OperatorCode code);

// The delivery note number. Its parser demands exactly this many bytes, and its text form pads to it.
inline constexpr std::size_t LS_NUMBER_DIGITS = 7;

struct LsNumber {
    std::uint32_t value = 0;

    bool operator==(const LsNumber&) const = default;

    [[nodiscard]] std::string to_string() const;
    [[nodiscard]] static base::Result<LsNumber> from_str(std::string_view text);
};

struct BoxNumber {
    std::uint16_t value = 0;

    bool operator==(const BoxNumber&) const = default;

    // At least three digits.
    [[nodiscard]] std::string to_string() const;
};

// A table line always names its customer as free text; the brand values only ever come from code.
struct Customer {
    enum class Kind : std::uint8_t { Alvenra, RiloAg, Tavor, Other };

    Kind kind = Kind::Other;
    std::string text;  // the free text of Other; empty for the brands

    bool operator==(const Customer&) const = default;

    [[nodiscard]] static Customer brand(Kind kind) { return Customer{kind, {}}; }
    [[nodiscard]] static Customer other(std::string text) { return Customer{Kind::Other, std::move(text)}; }

    [[nodiscard]] std::string to_string() const;
};

struct RecordHead {
    DeviceRecord device;
    Article article{};
    Revision revision;
    std::string hardware_version;
    std::string firmware_version;
    std::string production_date;
    OperatorCode operator_code = OperatorCode::Unknown;

    bool operator==(const RecordHead&) const = default;

    [[nodiscard]] std::string to_string() const;
};

struct TestResults {
    std::array<TestStatus, 4> results{};
    OperatorCode operator_code = OperatorCode::Unknown;

    bool operator==(const TestResults&) const = default;

    [[nodiscard]] std::string to_string() const;
};

struct DeliveryInfo {
    std::string release_date;
    LsNumber ls_number;
    BoxNumber box_number;
    std::uint16_t order_size = 0;
    OperatorCode operator_code = OperatorCode::Unknown;
    Customer customer;

    bool operator==(const DeliveryInfo&) const = default;

    [[nodiscard]] std::string to_string() const;
};

// One parsed table line. Delivery data only ever comes with test results.
struct CredentialRecord {
    RecordHead head;
    std::optional<TestResults> tests;
    std::optional<DeliveryInfo> delivery;

    bool operator==(const CredentialRecord&) const = default;

    // The record in the table's own column layout: 10, 15 or 21 columns.
    [[nodiscard]] std::string to_string() const;
};

// A record made by the parser of one device kind. The fields and rules are the same for all kinds;
// the kind travels in the type because the CSV row of a kind is laid out under that kind's header.
template <DeviceKind Kind>
requires(Kind != DeviceKind::KX) struct KindRecord : CredentialRecord {
};

using ValveRecord = KindRecord<DeviceKind::Valve>;
using JrxRecord = KindRecord<DeviceKind::JRX>;
using WqRecord = KindRecord<DeviceKind::WQ>;

// The columns of a line, borrowed from it: cut at every ";", empty columns included.
[[nodiscard]] std::vector<std::string_view> split_columns(std::string_view line);

// The column at `position`, advancing it; a missing column names its index and lists every column.
[[nodiscard]] base::Result<std::string_view> next_field(std::span<const std::string_view> fields,
                                                        std::size_t& position);

[[nodiscard]] base::Result<DeviceRecord> parse_device_record(std::span<const std::string_view> fields,
                                                             std::size_t& position);
[[nodiscard]] base::Result<RecordHead> parse_record_head(std::span<const std::string_view> fields,
                                                         std::size_t& position);
[[nodiscard]] base::Result<TestResults> parse_test_results(std::span<const std::string_view> fields,
                                                           std::size_t& position);
[[nodiscard]] base::Result<DeliveryInfo> parse_delivery_info(std::span<const std::string_view> fields,
                                                             std::size_t& position);

// A whole line (without its line end); columns after the delivery block are ignored.
[[nodiscard]] base::Result<ValveRecord> parse_valve_record(std::string_view line);
[[nodiscard]] base::Result<JrxRecord> parse_jrx_record(std::string_view line);
[[nodiscard]] base::Result<WqRecord> parse_wq_record(std::string_view line);

// Parses the whole line under the kind's parser, so a bad test or delivery column fails it, and
// keeps only the head. KX has no record and is refused without looking at the line.
[[nodiscard]] base::Result<RecordHead> parse_record(DeviceKind kind, std::string_view line);

}  // namespace common
