#pragma once

#include <array>
#include <string_view>

namespace common_tests {

// Devices that stand at fixed places at the top of the built-in credential table, so that test
// benches can lay their tag on a reader and know what the program must find and write.
struct KnownDevice {
    std::string_view line;  // the table line without its LF
    std::string_view tag_uid;
    std::string_view dev_eui;
    std::string_view join_eui;  // the line's own, replaced by an update
    std::string_view app_key;
    std::string_view article;
};

inline constexpr std::array<KnownDevice, 4> KNOWN_DEVICES{{
    {"04:A1:7C:2B:5D:80:01;4b-4f-52-00-00-00-00-01;4b-4f-52-56-4f-4c-44-01;00 01 02 03 04 05 06 07 08 09 0a "
     "0b 0c 0d "
     "0e "
     "0f;QZT410HoNO35-TB-P;1.4;1.3;2024.02.14.00;2023-07-24;XA;pass;pass;pass;pass;??;2024-03-09;0041234;007;"
     "1;XO;"
     "KORVEN GmbH",
     "04:A1:7C:2B:5D:80:01", "4b-4f-52-00-00-00-00-01", "4b-4f-52-56-4f-4c-44-01",
     "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f", "QZT410HoNO35-TB-P"},
    {"04:A1:7C:2B:5D:80:02;4b-4f-52-00-00-00-00-02;4b-4f-52-56-4f-4c-44-02;10 11 12 13 14 15 16 17 18 19 1a "
     "1b 1c 1d "
     "1e "
     "1f;QZT410HaNO35-TB-P-KD2M;2.3;1.3;2024.02.14.00;2023-12-17;XY;pass;pass;pass;pass;XO;2024-07-16;"
     "1200345;012;"
     "25;XO;KORVEN GmbH",
     "04:A1:7C:2B:5D:80:02", "4b-4f-52-00-00-00-00-02", "4b-4f-52-56-4f-4c-44-02",
     "10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f", "QZT410HaNO35-TB-P-KD2M"},
    {"04:A1:7C:2B:5D:80:03;4b-4f-52-00-00-00-00-03;4b-4f-52-56-4f-4c-44-02;20 21 22 23 24 25 26 27 28 29 2a "
     "2b 2c 2d "
     "2e "
     "2f;QZT410HaNO35-TB-P-KD1N;1.4;1.3;2023.11.02.01;2023-01-28;XU;pass;pass;pass;pass;XU;2024-10-12;"
     "0000042;130;"
     "250;??;KORVEN GmbH",
     "04:A1:7C:2B:5D:80:03", "4b-4f-52-00-00-00-00-03", "4b-4f-52-56-4f-4c-44-02",
     "20 21 22 23 24 25 26 27 28 29 2a 2b 2c 2d 2e 2f", "QZT410HaNO35-TB-P-KD1N"},
    {"04:A1:7C:2B:5D:80:04;4b-4f-52-00-00-00-00-04;4b-4f-52-56-4f-4c-44-03;30 31 32 33 34 35 36 37 38 39 3a "
     "3b 3c 3d "
     "3e "
     "3f;QZT410LuNO35-44;2.3;1.3;2023.04.18.00;2023-10-11;XY;pass;pass;pass;pass;XU;2024-08-10;9876543;001;8;"
     "??;"
     "KORVEN GmbH",
     "04:A1:7C:2B:5D:80:04", "4b-4f-52-00-00-00-00-04", "4b-4f-52-56-4f-4c-44-03",
     "30 31 32 33 34 35 36 37 38 39 3a 3b 3c 3d 3e 3f", "QZT410LuNO35-44"},
}};

// A tag that no line of the built-in table holds.
inline constexpr std::string_view UNKNOWN_TAG_UID = "04:FF:FF:FF:FF:FF:FF";

}  // namespace common_tests
