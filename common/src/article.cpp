#include "common/article.hpp"

#include <array>
#include <vector>

#include "base/text.hpp"
#include "base/utf8.hpp"

namespace common {

namespace {

struct CatalogueEntry {
    std::string_view text;
    DeviceKind kind;
};

constexpr std::array<CatalogueEntry, ARTICLE_COUNT> kCatalogue{{
    {"QZT410HaNO35-TB-P", DeviceKind::Valve},
    {"QZT410HaNO35-TB-P-KD1N", DeviceKind::Valve},
    {"QZT410HaNO35-TB-P-KD2M", DeviceKind::Valve},
    {"QZT410HaNO35-TB-R", DeviceKind::Valve},
    {"QZT410HaNO35-TB-R-KD1N", DeviceKind::Valve},
    {"QZT410HaNO35-TB-R-KD2M", DeviceKind::Valve},
    {"QZT410HoNO35-TB-P", DeviceKind::Valve},
    {"QZT410HoNO35-TB-P-KD1N", DeviceKind::Valve},
    {"QZT410HoNO35-TB-P-KD2M", DeviceKind::Valve},
    {"QZT410HoNO35-TB-R", DeviceKind::Valve},
    {"QZT410HoNO35-TB-R-KD1N", DeviceKind::Valve},
    {"QZT410HoNO35-TB-R-KD2M", DeviceKind::Valve},
    {"QZT410LuNO35-44", DeviceKind::Valve},
    {"QZT410LuNO35-44-KD1N", DeviceKind::Valve},
    {"QZT410LuNO35-44-KD2M", DeviceKind::Valve},
    {"QZT410LuWE35-44", DeviceKind::Valve},
    {"QZT410LuWE35-44-KD1N", DeviceKind::Valve},
    {"QZT410LuWE35-44-KD2M", DeviceKind::Valve},
    {"QZT410LuSO35-44", DeviceKind::Valve},
    {"QZT-KX-PoNO-TB", DeviceKind::KX},
    {"QZTJRX1iNO-44", DeviceKind::JRX},
    {"QZTJRX1iWE-44", DeviceKind::JRX},
    {"QZTJRX2iNO-44", DeviceKind::JRX},
    {"QZTWQ1iNO-44", DeviceKind::WQ},
    {"QZTWQ2iNO-44", DeviceKind::WQ},
    {"QZTWQ1iWE-44", DeviceKind::WQ},
    {"QZTWQ2iWE-44", DeviceKind::WQ},
    {"QZT410HaNO35-44", DeviceKind::Valve},
    {"QZT410H?NO35-44", DeviceKind::Valve},
    {"QZT410HaNO35-81", DeviceKind::Valve},
    {"QZT410HoNO35-81", DeviceKind::Valve},
    {"QZT410HaNO35-TB", DeviceKind::Valve},
    {"QZT410HoNO35-TB", DeviceKind::Valve},
}};

int hex_digit_value(char32_t c) {
    if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
    if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a' + 10);
    if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A' + 10);
    return -1;
}

std::optional<Article> catalogue_lookup(std::string_view text) {
    for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
        if (kCatalogue[i].text == text) return static_cast<Article>(i);
    }
    return std::nullopt;
}

bool is_revision_part(std::string_view rest) {
    return rest.size() == 3 && rest[1] == '.' && hex_digit_value(static_cast<unsigned char>(rest[0])) >= 0 &&
           hex_digit_value(static_cast<unsigned char>(rest[2])) >= 0;
}

constexpr std::string_view kKd1n = "-KD1N";
constexpr std::string_view kKd2m = "-KD2M";

}  // namespace

std::string_view to_string(Article article) { return kCatalogue.at(index_of(article)).text; }

DeviceKind device_kind(Article article) { return kCatalogue.at(index_of(article)).kind; }

AdapterVariant adapter_variant_of(Article article) {
    const std::string_view text = to_string(article);
    if (text.ends_with(kKd2m)) return AdapterVariant::Kd2m;
    if (text.ends_with(kKd1n)) return AdapterVariant::Kd1n;
    return AdapterVariant::None;
}

std::string Revision::to_string() const {
    return base::to_hex_lower(major) + "." + base::to_hex_lower(minor);
}

std::string ArticleRevision::to_string() const {
    return std::string(common::to_string(article)) + "-" + revision.to_string();
}

base::Result<Revision> parse_revision(std::string_view text) {
    // Counted in characters, so "é.1" is three characters and fails on the digit, not the format.
    std::vector<char32_t> chars;
    for (std::size_t pos = 0; pos < text.size() && chars.size() <= 3;) {
        const base::Utf8Step step = base::utf8_next(text, pos);
        chars.push_back(step.code_point);
        pos += step.length;
    }
    if (chars.size() != 3 || chars[1] != U'.') {
        return base::fail(base::ErrorKind::InvalidInput,
                          "Revision should be of the format `major.minor`, got " + std::string(text));
    }
    const int major = hex_digit_value(chars[0]);
    const int minor = hex_digit_value(chars[2]);
    if (major < 0 || minor < 0) {
        return base::fail(base::ErrorKind::InvalidInput, "Revision contains unexpected character");
    }
    return Revision{static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor)};
}

base::Result<ParsedArticle> parse_article(std::string_view text) {
    std::string_view article_part = text;
    std::optional<std::string_view> revision_part;
    if (const auto dash = text.rfind('-'); dash != std::string_view::npos) {
        const std::string_view rest = text.substr(dash + 1);
        if (is_revision_part(rest)) {
            article_part = text.substr(0, dash);
            revision_part = rest;
        }
    }
    const auto article = catalogue_lookup(article_part);
    if (!article)
        return base::fail(base::ErrorKind::InvalidInput, std::string(text) + " is not a recognised article");
    ParsedArticle parsed{*article, std::nullopt};
    if (revision_part) {
        auto revision = parse_revision(*revision_part);
        if (!revision) return std::unexpected(revision.error());
        parsed.revision = *revision;
    }
    return parsed;
}

base::Result<ArticleRevision> parse_article_revision(std::string_view text) {
    auto parsed = parse_article(text);
    if (!parsed) return std::unexpected(parsed.error());
    if (!parsed->revision) return base::fail(base::ErrorKind::InvalidInput, "Expected a Revision");
    return ArticleRevision{parsed->article, *parsed->revision};
}

base::Result<void> with_adapter_variant(Article& article, AdapterVariant wanted) {
    const AdapterVariant current = adapter_variant_of(article);
    if (current == wanted) return {};
    std::string text(to_string(article));
    if (current != AdapterVariant::None) text.resize(text.size() - kKd1n.size());
    if (wanted == AdapterVariant::Kd1n) text += kKd1n;
    if (wanted == AdapterVariant::Kd2m) text += kKd2m;
    auto parsed = parse_article(text);
    if (!parsed) return std::unexpected(parsed.error());
    article = parsed->article;
    return {};
}

}  // namespace common
