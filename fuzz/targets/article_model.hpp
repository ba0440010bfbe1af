#pragma once

// The article catalogue and the article and revision parsers as their rules read.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.hpp"
#include "utf8_model.hpp"

namespace fuzz {

inline constexpr std::array<std::string_view, 33> CATALOGUE{
    "QZT410HaNO35-TB-P",      "QZT410HaNO35-TB-P-KD1N", "QZT410HaNO35-TB-P-KD2M", "QZT410HaNO35-TB-R",
    "QZT410HaNO35-TB-R-KD1N", "QZT410HaNO35-TB-R-KD2M", "QZT410HoNO35-TB-P",      "QZT410HoNO35-TB-P-KD1N",
    "QZT410HoNO35-TB-P-KD2M", "QZT410HoNO35-TB-R",      "QZT410HoNO35-TB-R-KD1N", "QZT410HoNO35-TB-R-KD2M",
    "QZT410LuNO35-44",        "QZT410LuNO35-44-KD1N",   "QZT410LuNO35-44-KD2M",   "QZT410LuWE35-44",
    "QZT410LuWE35-44-KD1N",   "QZT410LuWE35-44-KD2M",   "QZT410LuSO35-44",        "QZT-KX-PoNO-TB",
    "QZTJRX1iNO-44",          "QZTJRX1iWE-44",          "QZTJRX2iNO-44",          "QZTWQ1iNO-44",
    "QZTWQ2iNO-44",           "QZTWQ1iWE-44",           "QZTWQ2iWE-44",           "QZT410HaNO35-44",
    "QZT410H?NO35-44",        "QZT410HaNO35-81",        "QZT410HoNO35-81",        "QZT410HaNO35-TB",
    "QZT410HoNO35-TB",
};

struct ModelRevision {
    int major = 0;
    int minor = 0;
};

struct ModelArticle {
    std::optional<std::size_t> index;  // absent: failed with `error`
    std::optional<ModelRevision> revision;
    base::Error error;
};

inline int model_hex_digit(char32_t c) {
    if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
    if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a') + 10;
    if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A') + 10;
    return -1;
}

inline std::optional<std::size_t> model_catalogue_index(std::string_view text) {
    for (std::size_t i = 0; i < CATALOGUE.size(); ++i) {
        if (CATALOGUE[i] == text) return i;
    }
    return std::nullopt;
}

// A revision, or the error's message (kind InvalidInput).
struct ModelRevisionOutcome {
    std::optional<ModelRevision> revision;
    std::string message;
};

inline ModelRevisionOutcome model_parse_revision(std::string_view text) {
    const auto chars = model_decode(text);
    if (chars.size() != 3 || chars[1].code_point != U'.')
        return {std::nullopt, "Revision should be of the format `major.minor`, got " + std::string(text)};
    const int major = model_hex_digit(chars[0].code_point);
    const int minor = model_hex_digit(chars[2].code_point);
    if (major < 0 || minor < 0) return {std::nullopt, "Revision contains unexpected character"};
    return {ModelRevision{major, minor}, {}};
}

inline ModelArticle model_parse_article(std::string_view text) {
    std::string_view article = text;
    std::optional<ModelRevision> revision;
    const auto dash = text.rfind('-');
    if (dash != std::string_view::npos) {
        const std::string_view rest = text.substr(dash + 1);
        if (rest.size() == 3 && rest[1] == '.' && model_hex_digit(static_cast<unsigned char>(rest[0])) >= 0 &&
            model_hex_digit(static_cast<unsigned char>(rest[2])) >= 0) {
            article = text.substr(0, dash);
            revision = model_parse_revision(rest).revision;
        }
    }
    const auto index = model_catalogue_index(article);
    if (!index) {
        return {
            std::nullopt, std::nullopt,
            base::Error{base::ErrorKind::InvalidInput, std::string(text) + " is not a recognised article"}};
    }
    return {index, revision, {}};
}

inline std::string model_revision_text(ModelRevision r) {
    const char* digits = "0123456789abcdef";
    return std::string(1, digits[r.major]) + "." + digits[r.minor];
}

}  // namespace fuzz
