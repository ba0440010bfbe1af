// The decimal reader of 8, 16 and 32 bits, the delivery note number and the delivery block's number
// columns, each against a plain model; numbers written out read back to themselves.

#include "base/decimal.hpp"

#include <limits>
#include <string>
#include <vector>

#include "common/record.hpp"
#include "decimal_model.hpp"
#include "fuzz_support.hpp"

namespace {

using base::ParseIntError;
using fuzz::NumberFault;

NumberFault fault_of(ParseIntError::Kind kind) {
    switch (kind) {
        case ParseIntError::Kind::Empty:
            return NumberFault::Empty;
        case ParseIntError::Kind::InvalidDigit:
            return NumberFault::InvalidDigit;
        case ParseIntError::Kind::PosOverflow:
            return NumberFault::PosOverflow;
    }
    return NumberFault::None;
}

template <class T>
bool agrees(const std::expected<T, ParseIntError>& got, const fuzz::ModelNumber& want) {
    if (want.fault == NumberFault::None) return got && *got == want.value;
    if (got) return false;
    return fault_of(got.error().kind) == want.fault &&
           got.error().to_string() == fuzz::model_display_text(want.fault) &&
           got.error().debug_string() == fuzz::model_debug_text(want.fault);
}

void check_reader(const std::string& text) {
    FUZZ_CHECK(agrees(base::parse_u8(text), fuzz::model_read_unsigned(text, 255)));
    FUZZ_CHECK(agrees(base::parse_u16(text), fuzz::model_read_unsigned(text, 65535)));
    FUZZ_CHECK(agrees(base::parse_u32(text), fuzz::model_read_unsigned(text, 4294967295u)));
}

void check_ls_number(const std::string& text) {
    const auto got = common::LsNumber::from_str(text);
    if (text.size() != 7) {
        FUZZ_CHECK(!got && fuzz::same_error(got.error(), base::ErrorKind::InvalidInput,
                                            "An LS Number should contain 7 digits, received " +
                                                std::to_string(text.size()) + " digits"));
        return;
    }
    const fuzz::ModelNumber want = fuzz::model_read_unsigned(text, 4294967295u);
    if (want.fault != NumberFault::None) {
        FUZZ_CHECK(!got && fuzz::same_error(got.error(), base::ErrorKind::InvalidInput,
                                            "An LS Number should contain only digits, received " + text +
                                                "\n" + fuzz::model_display_text(want.fault)));
        return;
    }
    FUZZ_CHECK(got && got->value == want.value);
    // Seven characters hold at most seven digits: the text form is seven digits and reads back.
    const std::string form = got->to_string();
    FUZZ_CHECK(form.size() == 7);
    const auto back = common::LsNumber::from_str(form);
    FUZZ_CHECK(back && *back == *got);
}

// Columns 15 to 20 as the delivery block reads them.
void check_delivery_block(const std::vector<std::string>& columns) {
    std::vector<std::string_view> fields(columns.begin(), columns.end());
    std::size_t position = 0;
    const auto got = common::parse_delivery_info(fields, position);

    const auto missing = [&](std::size_t index) {
        return !got && got.error().kind == base::ErrorKind::NotFound &&
               got.error().message.starts_with("Cannot access " + std::to_string(index) + " in\n");
    };
    if (fields.size() < 2) {
        FUZZ_CHECK(missing(fields.size()));
        return;
    }
    const auto ls = common::LsNumber::from_str(fields[1]);
    if (!ls) {
        FUZZ_CHECK(!got && got.error() == ls.error());
        return;
    }
    if (fields.size() < 3) {
        FUZZ_CHECK(missing(2));
        return;
    }
    const fuzz::ModelNumber box = fuzz::model_read_unsigned(fields[2], 65535);
    if (box.fault != NumberFault::None) {
        {
            FUZZ_CHECK(!got && fuzz::same_error(got.error(), base::ErrorKind::InvalidInput,
                                                "Cannot parse " + columns[2] + " as a Box"));
            return;
        }
    }
    if (fields.size() < 4) {
        FUZZ_CHECK(missing(3));
        return;
    }
    const fuzz::ModelNumber order = fuzz::model_read_unsigned(fields[3], 65535);
    if (order.fault != NumberFault::None) {
        {
            FUZZ_CHECK(!got && fuzz::same_error(got.error(), base::ErrorKind::Other,
                                                fuzz::model_display_text(order.fault)));
            return;
        }
    }
    if (fields.size() < 5) {
        FUZZ_CHECK(missing(4));
        return;
    }
    const auto code = common::operator_code_from_str(fields[4]);
    if (!code) {
        FUZZ_CHECK(!got && got.error() == code.error());
        return;
    }
    if (fields.size() < 6) {
        FUZZ_CHECK(missing(5));
        return;
    }

    FUZZ_CHECK(got && position == 6);
    FUZZ_CHECK(got->release_date == columns[0] && got->ls_number == *ls &&
               got->box_number.value == box.value && got->order_size == order.value &&
               got->operator_code == *code && got->customer == common::Customer::other(columns[5]));
    // Box numbers are written with at least three digits, order sizes without leading zeros.
    const std::string box_text = got->box_number.to_string();
    FUZZ_CHECK(box_text.size() == std::max<std::size_t>(3, std::to_string(box.value).size()));
    FUZZ_CHECK(base::parse_u16(box_text) == box.value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t mode = in.byte();
    const std::uint32_t number = in.u32();

    // Any value written in decimal, with a "+" or leading zeros, reads back where it fits.
    const std::string digits = std::to_string(number);
    for (const std::string& form : {digits, "+" + digits, "000" + digits, "+0" + digits}) {
        check_reader(form);
        FUZZ_CHECK(base::parse_u32(form) == number);
    }
    FUZZ_CHECK(base::parse_u16(digits).has_value() == (number <= 65535));
    FUZZ_CHECK(base::parse_u8(digits).has_value() == (number <= 255));
    const std::string ls_form = common::LsNumber{number}.to_string();
    FUZZ_CHECK(ls_form.size() == std::max<std::size_t>(7, digits.size()));
    FUZZ_CHECK(base::parse_u32(ls_form) == number);

    if (mode % 2 == 0) {
        const std::string text = in.rest();
        check_reader(text);
        check_ls_number(text);
    } else {
        std::vector<std::string> columns;
        const std::string text = in.rest();
        std::size_t begin = 0;
        while (columns.size() < 8) {
            const std::size_t end = text.find(';', begin);
            columns.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
            if (end == std::string::npos) break;
            begin = end + 1;
        }
        for (const std::string& column : columns) check_reader(column);
        check_delivery_block(columns);
    }
    return 0;
}
