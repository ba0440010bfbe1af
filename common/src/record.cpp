#include "common/record.hpp"

#include "base/decimal.hpp"
#include "base/quoted.hpp"
#include "base/text.hpp"

namespace common {

namespace {

constexpr std::array<std::string_view, 4> kStatusTexts{"unrecognised", "pass", "fail", "incomplete"};

// Left zero-padding of a decimal number to `width` digits; wider numbers are written in full.
std::string padded(std::uint32_t value, std::size_t width) {
    std::string digits = std::to_string(value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return digits;
}

// Only the ASCII letters need lowering here: the one non-ASCII character whose lower case is ASCII
// (the Kelvin sign, giving "k") spells none of the status words.
std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

base::Result<OperatorCode> next_operator_code(std::span<const std::string_view> fields,
                                              std::size_t& position) {
    const auto field = next_field(fields, position);
    if (!field) return std::unexpected(field.error());
    return operator_code_from_str(*field);
}

template <class Record>
base::Result<Record> parse_kind_record(std::string_view line) {
    const std::vector<std::string_view> fields = split_columns(line);
    std::size_t position = 0;
    Record record;
    auto head = parse_record_head(fields, position);
    if (!head) return std::unexpected(head.error());
    record.head = std::move(*head);
    if (position >= fields.size()) return record;
    auto tests = parse_test_results(fields, position);
    if (!tests) return std::unexpected(tests.error());
    record.tests = *tests;
    if (position >= fields.size()) return record;
    auto delivery = parse_delivery_info(fields, position);
    if (!delivery) return std::unexpected(delivery.error());
    record.delivery = std::move(*delivery);
    return record;
}

}  // namespace

std::string DeviceRecord::to_string() const {
    return tag_uid.to_string() + ";" + dev_eui.to_string() + ";" + join_eui.to_string() + ";" +
           app_key.to_string();
}

TestStatus test_status_from_str(std::string_view text) {
    const std::string lower = ascii_lower(text);
    if (lower == "pass") return TestStatus::Pass;
    if (lower == "fail") return TestStatus::Fail;
    if (lower == "incomplete") return TestStatus::Incomplete;
    return TestStatus::Unrecognised;
}

std::string_view to_string(TestStatus status) { return kStatusTexts.at(static_cast<std::size_t>(status)); }

base::Result<OperatorCode> operator_code_from_str(std::string_view text) {
    if (text.size() == 2) {
        for (std::size_t i = 0; i * 2 < OPERATOR_CODES.size(); ++i) {
            if (OPERATOR_CODES.substr(i * 2, 2) == text) return static_cast<OperatorCode>(i);
        }
    }
    return base::fail(base::ErrorKind::InvalidInput, "Cannot match \"" + std::string(text) + "\"");
}

std::string_view to_string(OperatorCode code) {
    return OPERATOR_CODES.substr(static_cast<std::size_t>(code) * 2, 2);
}

std::string LsNumber::to_string() const { return padded(value, LS_NUMBER_DIGITS); }

base::Result<LsNumber> LsNumber::from_str(std::string_view text) {
    if (text.size() != LS_NUMBER_DIGITS) {
        return base::fail(base::ErrorKind::InvalidInput,
                          "An LS Number should contain " + std::to_string(LS_NUMBER_DIGITS) +
                              " digits, received " + std::to_string(text.size()) + " digits");
    }
    const auto value = base::parse_u32(text);
    if (!value) {
        return base::fail(base::ErrorKind::InvalidInput,
                          "An LS Number should contain only digits, received " + std::string(text) + "\n" +
                              value.error().to_string());
    }
    return LsNumber{*value};
}

std::string BoxNumber::to_string() const { return padded(value, 3); }

std::string Customer::to_string() const {
    switch (kind) {
        case Kind::Alvenra:
            return "Alvenra";
        case Kind::RiloAg:
            return "Rilo AG";
        case Kind::Tavor:
            return "Tavor";
        case Kind::Other:
            break;
    }
    return text;
}

std::string RecordHead::to_string() const {
    return device.to_string() + ";" + std::string(common::to_string(article)) + ";" + revision.to_string() +
           ";" + hardware_version + ";" + firmware_version + ";" + production_date + ";" +
           std::string(common::to_string(operator_code));
}

std::string TestResults::to_string() const {
    std::string out;
    for (const TestStatus status : results) {
        out += common::to_string(status);
        out += ';';
    }
    out += common::to_string(operator_code);
    return out;
}

std::string DeliveryInfo::to_string() const {
    return release_date + ";" + ls_number.to_string() + ";" + box_number.to_string() + ";" +
           std::to_string(order_size) + ";" + std::string(common::to_string(operator_code)) + ";" +
           customer.to_string();
}

std::string CredentialRecord::to_string() const {
    std::string out = head.to_string();
    if (!tests) return out;
    out += ";" + tests->to_string();
    if (delivery) out += ";" + delivery->to_string();
    return out;
}

std::vector<std::string_view> split_columns(std::string_view line) { return base::split(line, ';'); }

base::Result<std::string_view> next_field(std::span<const std::string_view> fields, std::size_t& position) {
    if (position < fields.size()) return fields[position++];
    return base::fail(base::ErrorKind::NotFound,
                      "Cannot access " + std::to_string(position) + " in\n" + base::quoted_list(fields));
}

base::Result<DeviceRecord> parse_device_record(std::span<const std::string_view> fields,
                                               std::size_t& position) {
    DeviceRecord record;
    auto field = next_field(fields, position);
    if (!field) return std::unexpected(field.error());
    const auto tag = rfid::TagUid::from_str(*field);
    if (!tag) return std::unexpected(tag.error());
    record.tag_uid = *tag;
    for (Eui* eui : {&record.dev_eui, &record.join_eui}) {
        field = next_field(fields, position);
        if (!field) return std::unexpected(field.error());
        const auto parsed = Eui::from_str(*field);
        if (!parsed) return std::unexpected(parsed.error());
        *eui = *parsed;
    }
    field = next_field(fields, position);
    if (!field) return std::unexpected(field.error());
    const auto key = AppKey::from_str(*field);
    if (!key) return std::unexpected(key.error());
    record.app_key = *key;
    return record;
}

base::Result<RecordHead> parse_record_head(std::span<const std::string_view> fields, std::size_t& position) {
    RecordHead head;
    auto device = parse_device_record(fields, position);
    if (!device) return std::unexpected(device.error());
    head.device = *device;

    auto field = next_field(fields, position);
    if (!field) return std::unexpected(field.error());
    // A revision suffix in the article column is checked and then dropped: column 5 gives the revision.
    const auto article = parse_article(*field);
    if (!article) return std::unexpected(article.error());
    head.article = article->article;

    field = next_field(fields, position);
    if (!field) return std::unexpected(field.error());
    const auto revision = parse_revision(*field);
    if (!revision) return std::unexpected(revision.error());
    head.revision = *revision;

    for (std::string* text : {&head.hardware_version, &head.firmware_version, &head.production_date}) {
        field = next_field(fields, position);
        if (!field) return std::unexpected(field.error());
        *text = std::string(*field);
    }

    const auto code = next_operator_code(fields, position);
    if (!code) return std::unexpected(code.error());
    head.operator_code = *code;
    return head;
}

base::Result<TestResults> parse_test_results(std::span<const std::string_view> fields,
                                             std::size_t& position) {
    TestResults tests;
    for (TestStatus& status : tests.results) {
        const auto field = next_field(fields, position);
        if (!field) return std::unexpected(field.error());
        status = test_status_from_str(*field);
    }
    const auto code = next_operator_code(fields, position);
    if (!code) return std::unexpected(code.error());
    tests.operator_code = *code;
    return tests;
}

base::Result<DeliveryInfo> parse_delivery_info(std::span<const std::string_view> fields,
                                               std::size_t& position) {
    DeliveryInfo delivery;
    auto field = next_field(fields, position);
    if (!field) return std::unexpected(field.error());
    delivery.release_date = std::string(*field);

    field = next_field(fields, position);
    if (!field) return std::unexpected(field.error());
    const auto ls = LsNumber::from_str(*field);
    if (!ls) return std::unexpected(ls.error());
    delivery.ls_number = *ls;

    field = next_field(fields, position);
    if (!field) return std::unexpected(field.error());
    const auto box = base::parse_u16(*field);
    if (!box)
        return base::fail(base::ErrorKind::InvalidInput, "Cannot parse " + std::string(*field) + " as a Box");
    delivery.box_number = BoxNumber{*box};

    field = next_field(fields, position);
    if (!field) return std::unexpected(field.error());
    const auto order_size = base::parse_u16(*field);
    if (!order_size) return base::fail(base::ErrorKind::Other, order_size.error().to_string());
    delivery.order_size = *order_size;

    const auto code = next_operator_code(fields, position);
    if (!code) return std::unexpected(code.error());
    delivery.operator_code = *code;

    field = next_field(fields, position);
    if (!field) return std::unexpected(field.error());
    delivery.customer = Customer::other(std::string(*field));
    return delivery;
}

base::Result<ValveRecord> parse_valve_record(std::string_view line) {
    return parse_kind_record<ValveRecord>(line);
}

base::Result<JrxRecord> parse_jrx_record(std::string_view line) { return parse_kind_record<JrxRecord>(line); }

base::Result<WqRecord> parse_wq_record(std::string_view line) { return parse_kind_record<WqRecord>(line); }

base::Result<RecordHead> parse_record(DeviceKind kind, std::string_view line) {
    base::Result<CredentialRecord> record =
        base::fail(base::ErrorKind::Unsupported, "QZT-KX is not supported");
    switch (kind) {
        case DeviceKind::KX:
            break;
        case DeviceKind::Valve:
            record = parse_valve_record(line);
            break;
        case DeviceKind::JRX:
            record = parse_jrx_record(line);
            break;
        case DeviceKind::WQ:
            record = parse_wq_record(line);
            break;
    }
    if (!record) return std::unexpected(record.error());
    return std::move(record->head);
}

}  // namespace common
