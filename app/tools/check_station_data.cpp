// Checks the data a station program is built from before it is built in, with the parsers the program
// itself runs, so that a table line the lookup would refuse or an image the work file cannot be made
// from stops the build instead of a device update at the customer's.
//
// Usage: check_station_data [--startup-may-stop] TARGET CUSTOMER TABLE IMAGE STAMP
// Every fault is printed as "FILE:LINE: message" (or "NAME: message"); STAMP is written only when
// there is none. --startup-may-stop lets a target through that start-up refuses, for the program that
// proves start-up's own stop; the table is still read under its kind when the target parses.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/firmware_file.hpp"
#include "common/article.hpp"
#include "common/lookup.hpp"
#include "common/record.hpp"
#include "common/release.hpp"
#include "common/utils.hpp"
#include "rfid/tag_uid.hpp"

namespace {

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::span<const std::uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

class Faults {
  public:
    void add(std::string_view where, std::string_view message) {
        std::cerr << where << ": " << message << '\n';
        ++count_;
    }
    [[nodiscard]] bool any() const { return count_ > 0; }

  private:
    int count_ = 0;
};

// Start-up stops on a target that does not parse or has no firmware release; the customer is a label
// line and a line of the mail, so it must be one line of text.
std::optional<common::DeviceKind> check_target_and_customer(std::string_view target,
                                                            std::string_view customer, bool startup_may_stop,
                                                            Faults& faults) {
    if (customer.empty()) faults.add("STATION_CUSTOMER", "the customer is empty");
    for (const char c : customer) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            faults.add("STATION_CUSTOMER", "the customer holds a control character or line break");
            break;
        }
    }
    const auto parsed = common::parse_article_revision(target);
    if (!parsed) {
        if (!startup_may_stop) faults.add("STATION_TARGET", parsed.error().message);
        return std::nullopt;
    }
    const auto release = common::firmware_release_for(*parsed);
    if (!release && !startup_may_stop) faults.add("STATION_TARGET", release.error().message);
    return common::device_kind(parsed->article);
}

// Each line as the lookup cuts the table.
std::vector<std::string_view> table_lines(std::string_view table) {
    std::vector<std::string_view> lines;
    for (std::size_t begin = 0; begin < table.size();) {
        const auto line = common::table_line_at(table, begin);
        lines.push_back(line.text);
        begin = line.next;
    }
    return lines;
}

void check_table(const std::string& path, std::string_view table, common::DeviceKind kind, Faults& faults) {
    const auto lines = table_lines(table);
    if (lines.empty()) faults.add(path, "the credential table holds no device");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string where = path + ":" + std::to_string(i + 1);
        const auto head = common::parse_record(kind, lines[i]);
        if (!head) {
            faults.add(where, head.error().message);
            continue;
        }
        // The lookup takes the first line holding the tag's text anywhere, so an earlier line that
        // holds it would answer for this device.
        const auto found = common::find_row_by_tag(head->device.tag_uid, table);
        if (found && *found != lines[i]) {
            for (std::size_t j = 0; j < i; ++j) {
                if (lines[j] == *found) {
                    faults.add(where, "its tag UID " + head->device.tag_uid.to_string() +
                                          " is found first on line " + std::to_string(j + 1));
                    break;
                }
            }
        }
    }
}

// The work file is made by replacing the placeholder key exactly once.
void check_image(const std::string& path, std::string_view image, Faults& faults) {
    const auto needle = std::span<const std::uint8_t>(app::PLACEHOLDER_KEY.bytes);
    int count = 0;
    std::size_t start = 0;
    while (const auto at = common::find_bytes(bytes_of(image), needle, start)) {
        ++count;
        start = *at + 1;
    }
    if (count != app::EXPECTED_REPLACEMENT_COUNT)
        faults.add(path, "the firmware image holds the placeholder key " + std::to_string(count) +
                             " times instead of once");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool startup_may_stop = !args.empty() && args.front() == "--startup-may-stop";
    if (startup_may_stop) args.erase(args.begin());
    if (args.size() != 5) {
        std::cerr << "usage: check_station_data [--startup-may-stop] TARGET CUSTOMER TABLE IMAGE STAMP\n";
        return 2;
    }
    const std::string &target = args[0], &customer = args[1], &table_path = args[2], &image_path = args[3];
    Faults faults;
    const auto kind = check_target_and_customer(target, customer, startup_may_stop, faults);
    const auto table = read_file(table_path);
    if (!table)
        faults.add(table_path, "cannot read the credential table");
    else if (kind)
        check_table(table_path, *table, *kind, faults);
    const auto image = read_file(image_path);
    if (!image)
        faults.add(image_path, "cannot read the firmware image");
    else
        check_image(image_path, *image, faults);
    if (faults.any()) return 1;
    std::ofstream(args[4]) << "checked\n";
    return 0;
}
