// Credential-table lines: the three kinds' parsers against a model composed of the column readers'
// models, in column order; a parsed record's text form is the line's canonical form and parses back
// to the same record; columns after the delivery block change nothing.

#include "common/record.hpp"

#include <optional>
#include <string>
#include <vector>

#include "article_model.hpp"
#include "base/quoted.hpp"
#include "decimal_model.hpp"
#include "fuzz_support.hpp"
#include "hex_model.hpp"

namespace {

struct ModelRecord {
    std::string canonical;  // the record's text form; empty when failed
    std::optional<base::Error> error;
};

std::vector<std::string> columns_of(std::string_view line) {
    std::vector<std::string> columns(1);
    for (const char c : line) {
        if (c == ';') {
            columns.emplace_back();
        } else {
            columns.back() += c;
        }
    }
    return columns;
}

std::optional<std::string> model_operator(std::string_view text) {
    const std::string_view codes = "??XAXEXIXOXUXY";
    for (std::size_t i = 0; i < codes.size(); i += 2) {
        if (codes.substr(i, 2) == text) return std::string(text);
    }
    return std::nullopt;
}

std::string model_status(std::string_view text) {
    std::string lower;
    for (const char c : text) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return lower == "pass" || lower == "fail" || lower == "incomplete" ? lower : "unrecognised";
}

std::string padded(std::uint64_t value, std::size_t width) {
    std::string digits = std::to_string(value);
    return std::string(digits.size() < width ? width - digits.size() : 0, '0') + digits;
}

ModelRecord model_parse(std::string_view line) {
    const std::vector<std::string> columns = columns_of(line);
    const auto failed = [](base::ErrorKind kind, std::string message) {
        return ModelRecord{{}, base::Error{kind, std::move(message)}};
    };
    const auto missing = [&](std::size_t index) {
        std::vector<std::string_view> views(columns.begin(), columns.end());
        return failed(base::ErrorKind::NotFound,
                      "Cannot access " + std::to_string(index) + " in\n" + base::quoted_list(views));
    };
    // Columns are read in order; the first that is missing or malformed ends the parse.
    std::vector<std::string> out;
    const struct {
        std::size_t n;
        std::optional<char32_t> separator;
        std::string_view form_separator;
        bool upper;
    } ids[] = {{7, std::nullopt, ":", true},
               {8, U'-', "-", false},
               {8, U'-', "-", false},
               {16, std::nullopt, " ", false}};
    for (std::size_t i = 0; i < 4; ++i) {
        if (columns.size() <= i) return missing(i);
        const fuzz::HexOutcome id = fuzz::model_parse_hex_bytes(columns[i], ids[i].n, ids[i].separator);
        if (!id.bytes) return failed(id.error.kind, id.error.message);
        out.push_back(fuzz::model_format_hex(*id.bytes, ids[i].form_separator, ids[i].upper));
    }
    if (columns.size() <= 4) return missing(4);
    const fuzz::ModelArticle article = fuzz::model_parse_article(columns[4]);
    if (!article.index) return failed(article.error.kind, article.error.message);
    out.emplace_back(fuzz::CATALOGUE[*article.index]);
    if (columns.size() <= 5) return missing(5);
    const fuzz::ModelRevisionOutcome revision = fuzz::model_parse_revision(columns[5]);
    if (!revision.revision) return failed(base::ErrorKind::InvalidInput, revision.message);
    out.push_back(fuzz::model_revision_text(*revision.revision));
    for (std::size_t i = 6; i < 9; ++i) {
        if (columns.size() <= i) return missing(i);
        out.push_back(columns[i]);
    }
    const auto operator_column = [&](std::size_t i) -> std::optional<ModelRecord> {
        if (columns.size() <= i) return missing(i);
        const auto code = model_operator(columns[i]);
        if (!code) return failed(base::ErrorKind::InvalidInput, "Cannot match \"" + columns[i] + "\"");
        out.push_back(*code);
        return std::nullopt;
    };
    if (auto fault = operator_column(9)) return *fault;
    if (columns.size() == 10)
        return {out[0] + ";" + out[1] + ";" + out[2] + ";" + out[3] + ";" + out[4] + ";" + out[5] + ";" +
                    out[6] + ";" + out[7] + ";" + out[8] + ";" + out[9],
                std::nullopt};

    for (std::size_t i = 10; i < 14; ++i) {
        if (columns.size() <= i) return missing(i);
        out.push_back(model_status(columns[i]));
    }
    if (auto fault = operator_column(14)) return *fault;

    if (columns.size() > 15) {
        out.push_back(columns[15]);
        if (columns.size() <= 16) return missing(16);
        const std::string& ls = columns[16];
        if (ls.size() != 7) {
            return failed(base::ErrorKind::InvalidInput, "An LS Number should contain 7 digits, received " +
                                                             std::to_string(ls.size()) + " digits");
        }
        const fuzz::ModelNumber ls_value = fuzz::model_read_unsigned(ls, 4294967295u);
        if (ls_value.fault != fuzz::NumberFault::None) {
            return failed(base::ErrorKind::InvalidInput,
                          "An LS Number should contain only digits, received " + ls + "\n" +
                              fuzz::model_display_text(ls_value.fault));
        }
        out.push_back(padded(ls_value.value, 7));
        if (columns.size() <= 17) return missing(17);
        const fuzz::ModelNumber box = fuzz::model_read_unsigned(columns[17], 65535);
        if (box.fault != fuzz::NumberFault::None)
            return failed(base::ErrorKind::InvalidInput, "Cannot parse " + columns[17] + " as a Box");
        out.push_back(padded(box.value, 3));
        if (columns.size() <= 18) return missing(18);
        const fuzz::ModelNumber order = fuzz::model_read_unsigned(columns[18], 65535);
        if (order.fault != fuzz::NumberFault::None)
            return failed(base::ErrorKind::Other, fuzz::model_display_text(order.fault));
        out.push_back(std::to_string(order.value));
        if (auto fault = operator_column(19)) return *fault;
        if (columns.size() <= 20) return missing(20);
        out.push_back(columns[20]);
    }
    std::string canonical;
    for (std::size_t i = 0; i < out.size(); ++i) canonical += (i ? ";" : "") + out[i];
    return {canonical, std::nullopt};
}

template <class Record>
bool same_outcome(const base::Result<Record>& a, const base::Result<common::ValveRecord>& b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return a.error() == b.error();
    return static_cast<const common::CredentialRecord&>(*a) ==
           static_cast<const common::CredentialRecord&>(*b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const auto valve = common::parse_valve_record(line);
    const ModelRecord want = model_parse(line);

    if (want.error) {
        FUZZ_CHECK(!valve && fuzz::same_error(valve.error(), want.error->kind, want.error->message));
    } else {
        FUZZ_CHECK(valve.has_value());
        const std::string text = valve->to_string();
        if (text != want.canonical) fuzz::explain("text form", text, want.canonical);
        FUZZ_CHECK(text == want.canonical);
        // A record parsed from its own text form is the same record, and its text form is stable.
        const auto again = common::parse_valve_record(text);
        FUZZ_CHECK(again && static_cast<const common::CredentialRecord&>(*again) ==
                                static_cast<const common::CredentialRecord&>(*valve));
        const std::size_t columns = columns_of(line).size();
        FUZZ_CHECK(valve->tests.has_value() == (columns > 10));
        FUZZ_CHECK(valve->delivery.has_value() == (columns > 15));
        if (columns >= 21) FUZZ_CHECK(same_outcome(common::parse_valve_record(line + ";;x;"), valve));
    }

    // The kinds read lines alike; parse_record keeps the head, and KX never looks at the line.
    FUZZ_CHECK(same_outcome(common::parse_jrx_record(line), valve));
    FUZZ_CHECK(same_outcome(common::parse_wq_record(line), valve));
    for (const auto kind : {common::DeviceKind::Valve, common::DeviceKind::JRX, common::DeviceKind::WQ}) {
        const auto head = common::parse_record(kind, line);
        FUZZ_CHECK(head.has_value() == valve.has_value());
        FUZZ_CHECK(head ? *head == valve->head : head.error() == valve.error());
    }
    const auto kx = common::parse_record(common::DeviceKind::KX, line);
    FUZZ_CHECK(!kx && fuzz::same_error(kx.error(), base::ErrorKind::Unsupported, "QZT-KX is not supported"));
    return 0;
}
