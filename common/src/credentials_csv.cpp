#include "common/credentials_csv.hpp"

#include <cstddef>

#include "common/lookup.hpp"
#include "common/release.hpp"
#include "csv_file.hpp"

namespace common {

namespace {

std::string_view header_for(DeviceKind kind, const Customer& customer) {
    if (customer.kind == Customer::Kind::Tavor) return BRAND_HEADER;
    switch (kind) {
        case DeviceKind::Valve:
            return VALVE_HEADER;
        case DeviceKind::JRX:
            return JRX_HEADER;
        case DeviceKind::WQ:
            return WQ_HEADER;
        case DeviceKind::KX:
            break;
    }
    return {};
}

base::Result<void> append_and_close(csv_file::AppendFile& file, std::string_view text) {
    const auto written = file.append(text);
    const auto closed = file.close();
    if (!written) return written;
    return closed;
}

std::string brand_row(const CredentialRecord& record) {
    const DeviceRecord& device = record.head.device;
    return device.tag_uid.to_string() + ";" + device.dev_eui.to_string() + ";" + device.join_eui.to_string() +
           ";" + device.app_key.to_string() + ";Caldrinex;" + std::string(to_string(record.head.article)) +
           ";REV" + record.head.revision.to_string();
}

// `statuses` is how many test columns the kind's header names.
base::Result<std::string> customer_row(const CredentialRecord& record, const DeliveryInfo& delivery,
                                       std::size_t statuses) {
    if (delivery.customer.kind == Customer::Kind::Tavor) return brand_row(record);
    if (!record.tests) {
        return base::fail(base::ErrorKind::NotFound,
                          "Unexpected input for a customer CSV:\n" + record.to_string());
    }
    const RecordHead& head = record.head;
    std::string row = head.device.to_string() + ";" + std::string(to_string(head.article)) + ";" +
                      head.revision.to_string() + ";" + head.hardware_version + ";" + head.firmware_version +
                      ";" + head.production_date;
    for (std::size_t i = 0; i < statuses; ++i) {
        row += ";";
        row += to_string(record.tests->results.at(i));
    }
    row += ";" + delivery.release_date + ";" + delivery.ls_number.to_string() + ";" +
           delivery.box_number.to_string() + ";" + std::to_string(delivery.order_size);
    return row;
}

template <class Record>
base::Result<void> export_parsed(base::Result<Record> parsed, const ArticleRevision& target,
                                 std::string_view release, const DateSource& today,
                                 csv_file::AppendFile& file) {
    if (!parsed) return std::unexpected(parsed.error());
    Record& record = *parsed;
    const auto updated = apply_update(record, target, release);
    if (!updated) return std::unexpected(updated.error());
    if (!record.delivery) return {};
    record.delivery->release_date = today();
    const auto row = customer_csv_row(record, *record.delivery);
    if (!row) return std::unexpected(row.error());
    // One write for the row and its LF, so that a reader never sees a row without its end.
    return append_and_close(file, *row + "\n");
}

}  // namespace

std::string credentials_csv_name(const DateSource& today) {
    return "QZT_Device_Credentials_" + today() + ".csv";
}

base::Result<void> create_credentials_csv(DeviceKind kind, const Customer& customer,
                                          const DateSource& today) {
    return create_credentials_file(kind, credentials_csv_name(today), customer);
}

base::Result<void> create_credentials_file(DeviceKind kind, const std::string& name,
                                           const Customer& customer) {
    const std::string_view header = header_for(kind, customer);
    auto file = csv_file::create_new(name);
    if (!file) {
        // The day's file from an earlier start keeps its header and rows.
        if (file.error().kind == base::ErrorKind::AlreadyExists) return {};
        return base::fail(file.error().kind, "Cannot create file\n" + name + "\n" + file.error().message);
    }
    return append_and_close(*file, header);
}

base::Result<void> export_record(const rfid::TagUid& tag, std::string_view table,
                                 const ArticleRevision& target, const DateSource& today) {
    // Opened first, so that a missing day's file is what the operator hears about.
    auto file = csv_file::open_existing(credentials_csv_name(today));
    if (!file) return std::unexpected(file.error());
    const auto line = find_row_by_tag(tag, table);
    if (!line) return std::unexpected(line.error());
    const auto release = firmware_release_for(target);
    if (!release) return std::unexpected(release.error());
    // The target decides the layout, not the line's own article.
    switch (device_kind(target.article)) {
        case DeviceKind::Valve:
            return export_parsed(parse_valve_record(*line), target, *release, today, *file);
        case DeviceKind::JRX:
            return export_parsed(parse_jrx_record(*line), target, *release, today, *file);
        case DeviceKind::WQ:
            return export_parsed(parse_wq_record(*line), target, *release, today, *file);
        case DeviceKind::KX:
            break;
    }
    return base::fail(base::ErrorKind::Unsupported, "QZT-KX is not supported");
}

base::Result<void> apply_update(CredentialRecord& record, const ArticleRevision& target,
                                std::string_view release) {
    const auto join_eui = article_join_eui(target.article);
    if (!join_eui) return std::unexpected(join_eui.error());
    record.head.device.join_eui = *join_eui;
    Article article = target.article;
    const auto variant = with_adapter_variant(article, adapter_variant_of(record.head.article));
    if (!variant) return std::unexpected(variant.error());
    record.head.article = article;
    record.head.revision = target.revision;
    record.head.firmware_version = std::string(release);
    return {};
}

base::Result<std::string> customer_csv_row(const ValveRecord& record, const DeliveryInfo& delivery) {
    return customer_row(record, delivery, 4);
}

base::Result<std::string> customer_csv_row(const JrxRecord& record, const DeliveryInfo& delivery) {
    return customer_row(record, delivery, 4);
}

base::Result<std::string> customer_csv_row(const WqRecord& record, const DeliveryInfo& delivery) {
    return customer_row(record, delivery, 3);
}

}  // namespace common
