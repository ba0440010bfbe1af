#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.hpp"

namespace common {

// The closed catalogue of article codes, in catalogue order (the underlying value is the index).
enum class Article : std::uint8_t {
    QZT410HaNO35_TB_P,
    QZT410HaNO35_TB_P_KD1N,
    QZT410HaNO35_TB_P_KD2M,
    QZT410HaNO35_TB_R,
    QZT410HaNO35_TB_R_KD1N,
    QZT410HaNO35_TB_R_KD2M,
    QZT410HoNO35_TB_P,
    QZT410HoNO35_TB_P_KD1N,
    QZT410HoNO35_TB_P_KD2M,
    QZT410HoNO35_TB_R,
    QZT410HoNO35_TB_R_KD1N,
    QZT410HoNO35_TB_R_KD2M,
    QZT410LuNO35_44,
    QZT410LuNO35_44_KD1N,
    QZT410LuNO35_44_KD2M,
    QZT410LuWE35_44,
    QZT410LuWE35_44_KD1N,
    QZT410LuWE35_44_KD2M,
    QZT410LuSO35_44,
    QZT_KX_PoNO_TB,
    QZTJRX1iNO_44,
    QZTJRX1iWE_44,
    QZTJRX2iNO_44,
    QZTWQ1iNO_44,
    QZTWQ2iNO_44,
    QZTWQ1iWE_44,
    QZTWQ2iWE_44,
    QZT410HaNO35_44,
    QZT410HqNO35_44,  // the text has a literal "?" in place of the letter: "QZT410H?NO35-44"
    QZT410HaNO35_81,
    QZT410HoNO35_81,
    QZT410HaNO35_TB,
    QZT410HoNO35_TB,
};

inline constexpr std::size_t ARTICLE_COUNT = 33;

[[nodiscard]] constexpr std::size_t index_of(Article article) { return static_cast<std::size_t>(article); }

// The device family; the order matters to the programmer driver.
enum class DeviceKind : std::uint8_t { Valve, KX, JRX, WQ };

// The adapter suffix at the end of a valve article's text.
enum class AdapterVariant : std::uint8_t { None, Kd1n, Kd2m };

// Hardware revision: one hex digit each, written "2.c".
struct Revision {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;

    bool operator==(const Revision&) const = default;

    [[nodiscard]] std::string to_string() const;
};

struct ArticleRevision {
    Article article{};
    Revision revision;

    bool operator==(const ArticleRevision&) const = default;

    // The article's text, "-", the revision's text.
    [[nodiscard]] std::string to_string() const;
};

struct ParsedArticle {
    Article article{};
    std::optional<Revision> revision;

    bool operator==(const ParsedArticle&) const = default;
};

// The article's catalogue text (Article::fmt).
[[nodiscard]] std::string_view to_string(Article article);

[[nodiscard]] DeviceKind device_kind(Article article);
[[nodiscard]] AdapterVariant adapter_variant_of(Article article);

[[nodiscard]] base::Result<ParsedArticle> parse_article(std::string_view text);
[[nodiscard]] base::Result<Revision> parse_revision(std::string_view text);
[[nodiscard]] base::Result<ArticleRevision> parse_article_revision(std::string_view text);

// Moves a valve base article among its adapter twins; the article is unchanged on failure.
[[nodiscard]] base::Result<void> with_adapter_variant(Article& article, AdapterVariant wanted);

}  // namespace common
